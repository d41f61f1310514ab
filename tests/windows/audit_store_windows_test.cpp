#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/audit_store.h"
#include "windows_temp_folder.h"

namespace vorel {
namespace {

// The trail lies under %ProgramData%\VorelService, a folder that administrators and the service (SYSTEM)
// alone may use, whatever rights it had before; entries written there are read back by a reader.
TEST(WindowsAuditStore, FolderOfItsOwnForAdministratorsAndTheServiceOnly) {
  test::WindowsTempFolder data;
  const char* before = std::getenv("ProgramData");
  const std::string saved = before ? before : "";
  SetEnvironmentVariableA("ProgramData", data.path().c_str());
  _putenv_s("ProgramData", data.path().c_str());
  EXPECT_THROW(OpenPlatformAuditStore(false), AuditStoreError);
  AuditEntry entry;
  entry.unixMillis = 1;
  entry.command = "zapis";
  OpenPlatformAuditStore()->Append(entry);
  const auto entries = OpenPlatformAuditStore(false)->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], entry);

  // Only SYSTEM and the administrators may use the folder (Wine, which keeps rights as POSIX modes, shows
  // the administrators as the folder's owner); nobody else, least of all Everyone or the Users.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  std::string folder = data.Path("VorelService");
  ASSERT_EQ(GetNamedSecurityInfoA(folder.data(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                  &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  bool system = false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    PSID sid = &ace->SidStart;
    system = system || IsWellKnownSid(sid, WinLocalSystemSid);
    EXPECT_TRUE(IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                EqualSid(sid, owner))
        << "ACE " << i;
  }
  EXPECT_TRUE(system);
  LocalFree(descriptor);
  _putenv_s("ProgramData", saved.c_str());
  SetEnvironmentVariableA("ProgramData", saved.c_str());
}

}  // namespace
}  // namespace vorel
