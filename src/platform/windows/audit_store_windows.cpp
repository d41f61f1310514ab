#include <windows.h>
// after windows.h
#include <sddl.h>

#include <string>

#include "platform/audit_store.h"
#include "platform/windows/service_data_folder.h"

// The Windows audit trail: %ProgramData%\VorelService\audit\audit.log (Program Files is replaced on
// upgrade). Its folder is made for administrators and the service (SYSTEM) alone, its files (the pruned
// file's replacement too) inheriting that; the entries hold patients' personal data.
namespace vorel {
namespace {

// Full control for SYSTEM and the Administrators group, inherited by files and folders, nothing
// inherited from above.
constexpr const char* kOwnersOnly = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

std::string LastErrorText(const std::string& what, DWORD code) {
  return "Audit trail: " + what + " (error " + std::to_string(code) + ")";
}

// The rights of kOwnersOnly; freed with LocalFree.
struct OwnersOnlyDescriptor {
  OwnersOnlyDescriptor() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kOwnersOnly, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
      throw AuditStoreError(LastErrorText("cannot build the rights of the audit trail", GetLastError()));
  }
  ~OwnersOnlyDescriptor() { LocalFree(descriptor); }
  OwnersOnlyDescriptor(const OwnersOnlyDescriptor&) = delete;
  OwnersOnlyDescriptor& operator=(const OwnersOnlyDescriptor&) = delete;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
};

// Makes the folder with the administrators' and the service's rights alone, or gives an existing one
// those rights.
void MakeOwnersOnlyFolder(const std::string& folder) {
  OwnersOnlyDescriptor rights;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, rights.descriptor, FALSE};
  if (CreateDirectoryA(folder.c_str(), &attributes)) return;
  if (GetLastError() != ERROR_ALREADY_EXISTS)
    throw AuditStoreError(LastErrorText("cannot create " + folder, GetLastError()));
  if (!SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        rights.descriptor))
    throw AuditStoreError(LastErrorText("cannot set the rights of " + folder, GetLastError()));
}

}  // namespace

std::unique_ptr<AuditStore> OpenOwnersOnlyAuditFile(const std::string& folder, bool create) {
  if (create) MakeOwnersOnlyFolder(folder);
  return OpenAuditFile(folder + "\\audit.log", create);
}

// A folder of its own beside the status record, which monitoring agents read and so stays readable by all.
std::unique_ptr<AuditStore> OpenPlatformAuditStore(bool create) {
  const std::string data = ServiceDataFolder();
  if (create) CreateDirectoryA(data.c_str(), nullptr);  // an existing one is kept as it is
  return OpenOwnersOnlyAuditFile(data + "audit", create);
}

}  // namespace vorel
