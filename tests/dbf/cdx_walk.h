#pragma once

// An independent reader of one CDX tag, written from the file layout alone (it shares no code with the
// engine's reader): finds the tag in the directory, walks the tree from the root, decodes every compact leaf,
// and checks what a VFP reader relies on — sorted entries, parent entries equal to the last entry of each
// child, sibling links both ways along each level, the root flag on the root only, the free-byte count.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace vorel::testing {

struct WalkedTag {
  std::vector<std::pair<std::string, uint32_t>> entries;  // key bytes, record number, in tree order
  std::vector<uint32_t> pages;                            // every page of the tree
  int levels = 0;
  std::string problems;  // empty when the tree is sound
};

inline uint32_t WalkLe(const std::string& f, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(f.at(at + i));
  return v;
}
inline uint32_t WalkBe32(const std::string& f, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(f.at(at + i));
  return v;
}

// Entries of one node: leaves decoded from their compact form (`pad` fills trailing bytes).
inline std::vector<std::pair<std::string, uint32_t>> WalkNode(const std::string& f, uint32_t page,
                                                              uint16_t keyLength, char pad,
                                                              std::vector<uint32_t>* children,
                                                              std::string& problems) {
  std::vector<std::pair<std::string, uint32_t>> out;
  const uint16_t attributes = static_cast<uint16_t>(WalkLe(f, page, 2));
  const uint16_t count = static_cast<uint16_t>(WalkLe(f, page + 2, 2));
  if (!(attributes & 2)) {
    for (uint16_t i = 0; i < count; ++i) {
      const size_t at = page + 12 + i * (keyLength + 8u);
      out.emplace_back(f.substr(at, keyLength), WalkBe32(f, at + keyLength));
      children->push_back(WalkBe32(f, at + keyLength + 4));
    }
    return out;
  }
  const uint32_t recMask = WalkLe(f, page + 14, 4);
  const uint8_t dupMask = static_cast<uint8_t>(f[page + 18]), trailMask = static_cast<uint8_t>(f[page + 19]);
  const int recBits = f[page + 20], dupBits = f[page + 21], entryBytes = f[page + 23];
  size_t keyEnd = page + 512;
  size_t used = 0;
  std::string previous;
  for (uint16_t i = 0; i < count; ++i) {
    uint64_t v = 0;
    for (int b = entryBytes - 1; b >= 0; --b)
      v = (v << 8) | static_cast<unsigned char>(f[page + 24 + i * entryBytes + b]);
    const uint32_t recno = static_cast<uint32_t>(v & recMask);
    const size_t dup = (v >> recBits) & dupMask, trail = (v >> (recBits + dupBits)) & trailMask;
    const size_t fresh = keyLength - dup - trail;
    keyEnd -= fresh;
    used += entryBytes + fresh;
    std::string key = previous.substr(0, dup) + f.substr(keyEnd, fresh) + std::string(trail, pad);
    out.emplace_back(key, recno);
    previous = key;
  }
  if (WalkLe(f, page + 12, 2) != 488 - used)
    problems += "free bytes wrong in page " + std::to_string(page) + "\n";
  return out;
}

// Walks tag `name` (upper case) of the CDX bytes `f`; keys of character tags are padded with `pad`.
inline WalkedTag WalkTag(const std::string& f, const std::string& name, char pad) {
  WalkedTag w;
  // The directory is one leaf at the root given by the file header; its record numbers are tag offsets.
  std::vector<uint32_t> none;
  uint32_t header = 0;
  for (const auto& [key, offset] : WalkNode(f, WalkLe(f, 0, 4), 10, ' ', &none, w.problems)) {
    std::string trimmed = key.substr(0, key.find_last_not_of(' ') + 1);
    if (trimmed == name) header = offset;
  }
  if (header == 0) {
    w.problems = "no tag " + name;
    return w;
  }
  const uint16_t keyLength = static_cast<uint16_t>(WalkLe(f, header + 12, 2));
  // Level by level from the root: each level's nodes must chain left to right.
  std::vector<uint32_t> level{WalkLe(f, header, 4)};
  bool root = true;
  while (!level.empty()) {
    ++w.levels;
    std::vector<uint32_t> below;
    bool leaves = false;
    for (size_t n = 0; n < level.size(); ++n) {
      const uint32_t page = level[n];
      w.pages.push_back(page);
      const uint16_t attributes = static_cast<uint16_t>(WalkLe(f, page, 2));
      leaves = (attributes & 2) != 0;
      if (((attributes & 1) != 0) != root)
        w.problems += "root flag wrong in page " + std::to_string(page) + "\n";
      const uint32_t left = WalkLe(f, page + 4, 4), right = WalkLe(f, page + 8, 4);
      if (left != (n == 0 ? 0xFFFFFFFFu : level[n - 1]) ||
          right != (n + 1 == level.size() ? 0xFFFFFFFFu : level[n + 1]))
        w.problems += "sibling links wrong in page " + std::to_string(page) + "\n";
      std::vector<uint32_t> children;
      auto entries = WalkNode(f, page, keyLength, pad, &children, w.problems);
      if (leaves) {
        w.entries.insert(w.entries.end(), entries.begin(), entries.end());
        continue;
      }
      // Each parent entry is the last entry of its child.
      for (size_t i = 0; i < children.size(); ++i) {
        std::vector<uint32_t> grand;
        std::string ignored;
        auto child = WalkNode(f, children[i], keyLength, pad, &grand, ignored);
        if (child.empty() || child.back() != entries[i])
          w.problems += "parent entry " + std::to_string(i) + " of page " + std::to_string(page) + " wrong\n";
      }
      below.insert(below.end(), children.begin(), children.end());
    }
    root = false;
    if (leaves) break;
    level = std::move(below);
  }
  for (size_t i = 1; i < w.entries.size(); ++i)
    if (!(w.entries[i - 1] < w.entries[i]))
      w.problems += "entries out of order at " + std::to_string(i) + "\n";
  return w;
}

}  // namespace vorel::testing
