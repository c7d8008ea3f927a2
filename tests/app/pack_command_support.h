#ifndef LORMEX_TESTS_APP_PACK_COMMAND_SUPPORT_H_
#define LORMEX_TESTS_APP_PACK_COMMAND_SUPPORT_H_

#include <string>
#include <vector>

namespace lormex::testing {

// What a run of the built lormex-pack printed and returned.
struct PackRun {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

// Runs lormex-pack with `arguments` in `working_folder`, stdin empty, stdout and stderr captured.
PackRun RunLormexPack(const std::vector<std::string>& arguments, const std::string& working_folder);

// The built lormex-pack.
std::string LormexPackPath();

// `text` in single quotes for the shell.
std::string ShellQuoted(const std::string& text);

// An album of every kind of file the packing treats apart, below `folder` (ending with "/"):
// a landscape and a portrait JPEG, a grey one in a sub-folder, a picture with an upper-case
// extension, a damaged ".jpg", a text file and a file with a Chinese name.
void MakeMixedAlbum(const std::string& folder);

// One entry of an archive as Python's zipfile reads it.
struct ZipEntryInfo {
  std::string name;
  int flag_bits = 0;
  long size = 0;
  int method = 0;
  std::string date;  // "YYYY-MM-DD HH:MM:SS"
};

// The entries of an archive read by Python's zipfile, which also tests every CRC. Fails the test
// when the archive cannot be read.
std::vector<ZipEntryInfo> ReadZipWithPython(const std::string& archive);

// The data of entry `name`, read by Python's zipfile.
std::string ZipEntryDataWithPython(const std::string& archive, const std::string& name);

// A preference file as the window program writes it (signature, CR LF, group "Option").
std::string PreferenceFileText(const std::string& out_folder, const std::string& studio,
                               int quality, int max_width);

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_APP_PACK_COMMAND_SUPPORT_H_
