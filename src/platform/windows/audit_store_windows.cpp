#include <windows.h>
// after windows.h
#include <sddl.h>

#include <cstdlib>
#include <string>

#include "platform/audit_store.h"

// The Windows audit trail: %ProgramData%\VorelService\audit.log (Program Files is replaced on upgrade).
// The folder is made for administrators and the service (SYSTEM) alone, its files inheriting that; the
// entries hold patients' personal data.
namespace vorel {
namespace {

// Full control for SYSTEM and the Administrators group, inherited by files and folders, nothing
// inherited from above.
constexpr const char* kOwnersOnly = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

std::string AuditFolder() {
  const char* data = std::getenv("ProgramData");
  const std::string base = data != nullptr && *data != '\0' ? data : "C:\\ProgramData";
  return base + "\\VorelService";
}

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

std::unique_ptr<AuditStore> OpenPlatformAuditStore(bool create) {
  const std::string folder = AuditFolder();
  if (create) MakeOwnersOnlyFolder(folder);
  return OpenAuditFile(folder + "\\audit.log", create);
}

}  // namespace vorel
