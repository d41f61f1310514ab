#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <gtest/gtest.h>

#include "platform/audit_store.h"
#include "windows_temp_folder.h"

namespace vorel {
namespace {

// The trail lies in a folder that administrators and the service (SYSTEM) alone may use; entries written
// there are read back by a reader.
TEST(WindowsAuditStore, FolderOfItsOwnForAdministratorsAndTheServiceOnly) {
  test::WindowsTempFolder data;
  const std::string folder = data.Path("audit");
  EXPECT_THROW(OpenOwnersOnlyAuditFile(folder, false), AuditStoreError);
  AuditEntry entry;
  entry.unixMillis = 1;
  entry.command = "zapis";
  OpenOwnersOnlyAuditFile(folder)->Append(entry);
  const auto entries = OpenOwnersOnlyAuditFile(folder, false)->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], entry);

  // Only SYSTEM and the administrators may use the folder (Wine, which keeps rights as POSIX modes, shows
  // the administrators as the folder's owner); nobody else, least of all Everyone or the Users.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT,
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
}

}  // namespace
}  // namespace vorel
