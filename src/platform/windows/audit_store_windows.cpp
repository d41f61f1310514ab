#include <windows.h>
// after windows.h
#include <aclapi.h>
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

// Gives the folder the administrators' and the service's rights alone (also when it existed before).
void RestrictToOwners(const std::string& folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kOwnersOnly, SDDL_REVISION_1, &descriptor,
                                                            nullptr))
    throw AuditStoreError(LastErrorText("cannot build the rights of " + folder, GetLastError()));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  std::string path = folder;
  const DWORD rc = SetNamedSecurityInfoA(path.data(), SE_FILE_OBJECT,
                                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                         nullptr, nullptr, dacl, nullptr);
  LocalFree(descriptor);
  if (rc != ERROR_SUCCESS) throw AuditStoreError(LastErrorText("cannot set the rights of " + folder, rc));
}

}  // namespace

std::unique_ptr<AuditStore> OpenPlatformAuditStore(bool create) {
  const std::string folder = AuditFolder();
  if (create) {
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      throw AuditStoreError(LastErrorText("cannot create " + folder, GetLastError()));
    RestrictToOwners(folder);
  }
  return OpenAuditFile(folder + "\\audit.log", create);
}

}  // namespace vorel
