#pragma once
// Reading and writing XML files. A file is decoded according to the encoding in its XML
// declaration when it is loaded (gb2312, gbk and gb18030 as GB18030; utf-8 or none as
// UTF-8) and encoded according to the declaration written when it is saved, so that the rest
// of the program sees UTF-8 only. Thread-safe (no shared state); a file itself is not locked.

#include <cstddef>
#include <string>

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
// read back), the encoding is unknown or cannot carry an element or attribute name, or the
// file cannot be written.
int SaveXmlFile(const std::string& path, const ThirdNode& root, const ThirdDeclaration& declaration);

}  // namespace qarv
