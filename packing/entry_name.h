#ifndef LORMEX_PACKING_ENTRY_NAME_H_
#define LORMEX_PACKING_ENTRY_NAME_H_

#include <string>

namespace lormex {

// The ZIP entry name of a file found by the album walk, from its path relative to the album
// folder ("Ceremony/IMG_0101.jpg"). Pure function; safe on any thread.
//
// The result is valid UTF-8, uses "/" between folders, has no empty, "." or ".." component and
// no leading "/", and holds no character that Windows reads as structure or cannot keep in a file
// name, so that extracting it on Windows or Linux never leaves the extraction folder.
//
// Every component is judged on its own. A component that is valid UTF-8, holds none of the
// characters below and no "%" followed by two hex digits is kept unchanged. In any other
// component each of these bytes is written as "%" and two upper-case hex digits:
//   - bytes that are not part of a valid UTF-8 sequence (names from legacy encodings such as GBK);
//   - control characters (0x00-0x1F, 0x7F) and  \ : < > " | ? *
//   - "%" itself (so "%" in an escaped component always starts an escape);
//   - every character of a component made only of dots and blanks ("." "..", "...", ".. "),
//     which Windows would trim to nothing or read as a parent folder.
// The mapping is lossless: a component holding "%" and two hex digits was escaped, and replacing
// every "%XX" by its byte gives back the original name; any other component is the original.
// Empty components (a leading "/", "//") are dropped.
std::string EntryName(const std::string& relative_path);

}  // namespace lormex

#endif  // LORMEX_PACKING_ENTRY_NAME_H_
