#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
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
    "usage: vorel_service state list [--full] | get [--raw] NAME | set [--raw] NAME VALUE | unset NAME\n";

// A command refused before it touched the store: the message, and status 1.
struct Refusal {
  std::string message;
};

int Fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "vorel_service state: %s\n", message.c_str());
  return status;
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

// A value of several lines (the logs) as its size and its last line: "[N lines, M bytes] last line".
std::string Summary(const StoredValue& value, const std::string& shown) {
  if (shown.find_first_of("\r\n") == std::string::npos) return shown;
  std::string_view text = shown;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  const std::size_t cut = text.find_last_of("\r\n");
  const std::string_view last = cut == std::string_view::npos ? text : text.substr(cut + 1);
  const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
  return "[" + std::to_string(lines) + " lines, " + std::to_string(value.bytes.size()) + " bytes] " +
         std::string(last);
}

// Value names are words: not empty, without blanks or control characters.
std::string CheckedName(std::string_view name) {
  if (name.empty()) throw Refusal{"a value name must not be empty"};
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F)
      throw Refusal{"the value name \"" + std::string(name) + "\" holds a blank or a control character"};
  }
  return std::string(name);
}

// The Windows-1251 form of an operator's UTF-8 text; refused when 1251 cannot hold it.
std::string AnsiOf(std::string_view utf8, std::string_view what) {
  if (auto ansi = Utf8ToAnsiExact(utf8)) return *ansi;
  throw Refusal{std::string(what) +
                " holds characters that Windows-1251 cannot hold (use --raw to store bytes as they are)"};
}

std::unique_ptr<EditableStateStore> OpenExisting() {
  StateStoreOptions options;
  options.create = false;
  return OpenStateStore(StateStoreLocation(), options);
}

int Run(const std::vector<std::string_view>& args) {
  if (args.empty()) return Fail(std::string("no subcommand\n") + kStateUsage, 2);
  const std::string_view verb = args[0];
  std::vector<std::string_view> rest(args.begin() + 1, args.end());
  const bool raw = !rest.empty() && rest[0] == "--raw";
  if (raw) rest.erase(rest.begin());
  auto name = [&](std::string_view text) {
    return CheckedName(raw ? std::string(text) : AnsiOf(text, "the name"));
  };

  if (verb == "list" && !raw && (rest.empty() || (rest.size() == 1 && rest[0] == "--full"))) {
    const bool full = !rest.empty();
    for (const StoredValue& value : OpenExisting()->List()) {
      const std::string shown = ShownValue(value);
      Print(AnsiToUtf8(value.name) + "=" + (full ? shown : Summary(value, shown)) + "\n");
    }
  } else if (verb == "get" && rest.size() == 1) {
    const std::string key = name(rest[0]);
    auto store = OpenExisting();
    if (raw) {
      if (auto value = store->ReadRaw(key)) Print(value->bytes);
    } else if (auto value = store->ReadRaw(key)) {
      Print(AnsiToUtf8(store->Read(key)) + "\n");
    }
  } else if (verb == "set" && rest.size() == 2) {
    const std::string key = name(rest[0]);
    const std::string value = raw ? std::string(rest[1]) : AnsiOf(rest[1], "the value");
    OpenStateStore()->Write(key, value);
  } else if (verb == "unset" && rest.size() == 1 && !raw) {
    const std::string key = name(rest[0]);
    OpenExisting()->Remove(key);
  } else {
    return Fail(std::string("bad arguments\n") + kStateUsage, 2);
  }
  if (std::fflush(stdout) != 0) return Fail("cannot write the output");
  return 0;
}

}  // namespace

int RunStateCommand(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const Refusal& refusal) {
    return Fail(refusal.message);
  } catch (const std::exception& e) {
    return Fail(AnsiToUtf8(e.what()));
  }
}

}  // namespace vorel
