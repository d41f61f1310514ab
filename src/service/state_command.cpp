#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/state_store_factory.h"
#include "service/operator_commands.h"

// The operator's view of the state store, in place of a registry editor: texts are shown in UTF-8 and
// stored in Windows-1251, unless --raw asks for the bytes unchanged.
namespace vorel {
namespace {

constexpr const char* kStateUsage =
    "usage: vorel_service state list | get [--raw] NAME | set [--raw] NAME VALUE | unset NAME\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "vorel_service state: %s\n", message.c_str());
  return 1;
}

void Print(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::string ShownValue(const StoredValue& value) {
  if (IsStringType(value.type))
    return AnsiToUtf8(std::string_view(value.bytes).substr(0, value.bytes.find('\0')));
  return "(type " + std::to_string(static_cast<int32_t>(value.type)) + ", " +
         std::to_string(value.bytes.size()) + " bytes)";
}

int Run(const std::vector<std::string_view>& args) {
  if (args.empty()) return Fail(std::string("no subcommand\n") + kStateUsage);
  const std::string_view verb = args[0];
  std::vector<std::string_view> rest(args.begin() + 1, args.end());
  const bool raw = !rest.empty() && rest[0] == "--raw";
  if (raw) rest.erase(rest.begin());
  auto name = [&](std::string_view text) { return raw ? std::string(text) : Utf8ToAnsi(text); };

  if (verb == "list" && rest.empty() && !raw) {
    auto store = OpenStateStore();
    for (const StoredValue& value : store->List())
      Print(AnsiToUtf8(value.name) + "=" + ShownValue(value) + "\n");
  } else if (verb == "get" && rest.size() == 1) {
    auto store = OpenStateStore();
    if (raw) {
      if (auto value = store->ReadRaw(rest[0])) Print(value->bytes);
    } else if (auto value = store->ReadRaw(name(rest[0]))) {
      Print(AnsiToUtf8(store->Read(name(rest[0]))) + "\n");
    }
  } else if (verb == "set" && rest.size() == 2) {
    auto store = OpenStateStore();
    store->Write(name(rest[0]), raw ? std::string(rest[1]) : Utf8ToAnsi(rest[1]));
  } else if (verb == "unset" && rest.size() == 1 && !raw) {
    auto store = OpenStateStore();
    store->Remove(name(rest[0]));
  } else {
    return Fail(std::string("bad arguments\n") + kStateUsage);
  }
  if (std::fflush(stdout) != 0) return Fail("cannot write the output");
  return 0;
}

}  // namespace

int RunStateCommand(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const std::exception& e) {
    return Fail(AnsiToUtf8(e.what()));
  }
}

}  // namespace vorel
