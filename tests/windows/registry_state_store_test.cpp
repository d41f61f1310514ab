#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/code_page.h"
#include "platform/state_store_factory.h"

// The registry state store on a key of its own under HKEY_CURRENT_USER, removed after each test, so that the
// service's real key is never touched.
namespace vorel {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;

class RegistryStateStore : public ::testing::Test {
 protected:
  RegistryStateStore() : subKey_("Software\\VorelServerTest\\" + std::to_string(GetCurrentProcessId())) {
    RegDeleteTreeA(HKEY_CURRENT_USER, subKey_.c_str());
  }
  ~RegistryStateStore() override { RegDeleteTreeA(HKEY_CURRENT_USER, subKey_.c_str()); }

  std::string location() const { return "HKEY_CURRENT_USER\\" + subKey_ + "\\"; }
  std::unique_ptr<EditableStateStore> Open() { return OpenStateStore(location()); }

  // A value as the registry holds it, read through the Unicode function.
  std::wstring WideValue(const char* name) {
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer);
    const std::wstring wideKey(subKey_.begin(), subKey_.end());
    const std::wstring wideName(name, name + std::strlen(name));
    if (RegGetValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideName.c_str(), RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
      return L"<unreadable>";
    return buffer;
  }

  void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, subKey_.c_str(), name, type, data, size), ERROR_SUCCESS);
  }

  std::string subKey_;
};

TEST_F(RegistryStateStore, CreatesTheKeyAndReadsAbsentValuesAsEmpty) {
  auto store = Open();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, subKey_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(store->Read("path"), "");
  EXPECT_FALSE(store->ReadRaw("path").has_value());
  EXPECT_TRUE(store->List().empty());
}

TEST_F(RegistryStateStore, TextsTravelInTheAnsiCodePageAndLieInTheRegistryAsUnicode) {
  if (GetACP() != 1251) GTEST_SKIP() << "the system is not Russian (ANSI code page " << GetACP() << ")";
  constexpr AnsiText kText("Не обнаружено");
  auto store = Open();
  store->Write("critical_error", kText.view());
  EXPECT_EQ(store->Read("critical_error"), kText.str());
  EXPECT_EQ(WideValue("critical_error"),
            L"\u041d\u0435 \u043e\u0431\u043d\u0430\u0440\u0443\u0436\u0435\u043d\u043e");
  // Written again, the value is replaced whole; a second handle on the key sees it at once.
  store->Write("critical_error", "x");
  EXPECT_EQ(Open()->Read("critical_error"), "x");
  ASSERT_TRUE(store->ReadRaw("critical_error").has_value());
  EXPECT_EQ(store->ReadRaw("critical_error")->type, StateValueType::kString);
}

TEST_F(RegistryStateStore, ExpandStringsAreReadUnexpandedAndTextEndsAtTheFirstNul) {
  auto store = Open();
  const char expand[] = "%SystemRoot%\\clinic";
  SetRaw("path", REG_EXPAND_SZ, expand, sizeof(expand));
  EXPECT_EQ(store->Read("path"), "%SystemRoot%\\clinic");
  const char twoParts[] = "first\0second";
  SetRaw("id", REG_SZ, twoParts, sizeof(twoParts));
  EXPECT_EQ(store->Read("id"), "first");
  // The editor's view keeps the bytes after the NUL.
  EXPECT_EQ(store->ReadRaw("id")->bytes, std::string("first\0second", 12));
}

TEST_F(RegistryStateStore, OtherTypesFailWithTheValueName) {
  auto store = Open();
  const DWORD number = 15;
  SetRaw("id", REG_DWORD, &number, sizeof(number));
  SetRaw("pass", REG_BINARY, "ab", 2);
  for (const char* name : {"id", "pass"}) {
    try {
      store->Read(name);
      ADD_FAILURE() << name << " was read";
    } catch (const StateStoreError& e) {
      EXPECT_EQ(std::string(e.what()), "Invalid data type for '" + std::string(name) + "'");
    }
  }
  EXPECT_EQ(store->ReadRaw("id")->type, static_cast<StateValueType>(REG_DWORD));
  EXPECT_EQ(store->ReadRaw("pass")->bytes, "ab");
}

TEST_F(RegistryStateStore, RefusedWriteNamesTheValue) {
  auto store = Open();
  store->Write("version", "620");
  // The key taken away under the open handle: the registry refuses every further write.
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, subKey_.c_str()), ERROR_SUCCESS);
  try {
    store->Write("service_stop", "now");
    ADD_FAILURE() << "the write went through";
  } catch (const StateStoreError& e) {
    EXPECT_EQ(std::string(e.what()), "Failed to set data for 'service_stop'");
  }
}

TEST_F(RegistryStateStore, EditorOperationsListTypedWriteAndRemove) {
  auto store = Open();
  store->Write("b_value", "2");
  store->Write("A_value", "1");
  store->WriteTyped("c_value", std::string("\x01\x00\x02", 3), StateValueType::kBinary);
  store->WriteTyped("d_value", "%TEMP%", StateValueType::kExpandString);
  EXPECT_THAT(store->List(),
              ElementsAre(Field(&StoredValue::name, "A_value"), Field(&StoredValue::name, "b_value"),
                          Field(&StoredValue::name, "c_value"), Field(&StoredValue::name, "d_value")));
  EXPECT_EQ(store->ReadRaw("c_value")->bytes, std::string("\x01\x00\x02", 3));
  EXPECT_EQ(store->ReadRaw("d_value")->type, StateValueType::kExpandString);
  EXPECT_EQ(store->ReadRaw("d_value")->bytes, "%TEMP%");
  // Value names ignore case, as the registry's do.
  EXPECT_EQ(store->Read("B_VALUE"), "2");
  store->Remove("b_value");
  store->Remove("never_there");
  EXPECT_FALSE(store->ReadRaw("b_value").has_value());
  EXPECT_EQ(store->List().size(), 3u);
}

TEST(RegistryStateStoreLocation, TheServiceKeyUnderTheLocalMachine) {
  EXPECT_EQ(StateStoreLocation(), "HKEY_LOCAL_MACHINE\\Software\\VorelServer\\");
}

}  // namespace
}  // namespace vorel
