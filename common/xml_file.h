#pragma once
// Reading and writing XML files. A file is decoded according to the encoding in its XML
// declaration when it is loaded (gb2312, gbk and gb18030 as GB18030; utf-8 or none as
// UTF-8) and encoded according to the declaration written when it is saved, so that the rest
// of the program sees UTF-8 only. Thread-safe (no shared state); a file itself is not locked.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "common/third_node.h"

namespace qarv {

// Largest XML file that is read; larger ones are refused.
inline constexpr std::size_t kMaxXmlFileSize = 32u * 1024 * 1024;

// Loads the XML file at `path` into `root` (the root element with all its descendants) and,
// if `declaration` is given, stores the file's declaration there (the default one if the file
// has none). A UTF-8 byte order mark takes precedence over the declared encoding. Returns 0;
// -1 if the file is missing or cannot be read; -2 if it exists but is unusable (not a regular
// file, larger than kMaxXmlFileSize, not decodable, not well-formed XML, no root element).
// On failure `root` and `declaration` are unchanged.
int LoadXmlFile(const std::string& path, ThirdNode& root, ThirdDeclaration* declaration = nullptr);

// Writes `root` as the XML file at `path`: the declaration line, then the elements with four
// spaces of indent per level, every line ending in CR LF, encoded as the declaration's
// encoding says. No text stops a save: a character of a text or attribute value that the
// encoding cannot carry is written as a character reference (&#xE78D;), which LoadXmlFile
// reads back as that character; bytes that are not UTF-8 are written as U+FFFD (logged). The
// file is replaced atomically, so an interrupted save leaves the old file. Returns 0, or -1
// (logged; the old file is untouched) if the tree cannot be printed (a name TinyXML would not
// read back), the encoding is unknown, does not write ASCII as it is (UTF-7, UTF-16) or cannot
// carry an element or attribute name, or the file cannot be written.
int SaveXmlFile(const std::string& path, const ThirdNode& root, const ThirdDeclaration& declaration);

// Saves one document again and again as SaveXmlFile does, byte for byte, keeping the printed
// and encoded bytes of each child of the root between saves: a save prints only the children
// marked changed since. The owner marks every child it changes, adds or replaces. Used by one
// thread at a time.
class IncrementalXmlFile {
  public:
    IncrementalXmlFile(std::string path, ThirdDeclaration declaration);

    // Child `index` of the root is no longer what was last saved.
    void MarkChanged(std::size_t index);
    // None of the children is what was last saved (a new tree, children removed or moved).
    void MarkAllChanged();
    // Writes `root` to the file, replacing it atomically. 0, or -1 as SaveXmlFile.
    int Save(const ThirdNode& root);

  private:
    // The declaration and the root's start tag (`head`) and its end tag (`tail`), encoded.
    int EncodeFrame(const ThirdNode& root, std::string& head, std::string& tail) const;

    std::string path_;
    ThirdDeclaration declaration_;
    std::vector<std::optional<std::string>> children_;  // encoded bytes, by child index
};

}  // namespace qarv
