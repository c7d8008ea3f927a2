#include "tests/app/pack_command_support.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/packing/picture_fixtures.h"
#include "tests/support/test_files.h"

namespace lormex::testing {
namespace {

constexpr char kListScript[] = R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        print("bad entry", bad, file=sys.stderr)
        sys.exit(3)
    for i in z.infolist():
        d = "%04d-%02d-%02d %02d:%02d:%02d" % i.date_time
        print("%s\t%d\t%d\t%d\t%s" % (i.filename, i.flag_bits, i.file_size, i.compress_type, d))
)";

constexpr char kReadScript[] = R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    sys.stdout.buffer.write(z.read(sys.argv[2]))
)";

std::string Python(const char* script) { return "python3 -c " + ShellQuoted(script); }

}  // namespace

std::string LormexPackPath() { return LORMEX_PACK_BINARY; }

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

PackRun RunLormexPack(const std::vector<std::string>& arguments,
                      const std::string& working_folder) {
  TempDir scratch;
  std::string command = "cd " + ShellQuoted(working_folder) + " && " + LORMEX_PACK_BINARY;
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  command += " </dev/null 2>" + ShellQuoted(scratch / "stderr");
  const CommandResult result = RunCommand(command);
  PackRun run;
  run.status = result.status;
  run.out = result.output;
  run.err = ReadFile(scratch / "stderr");
  return run;
}

void MakeMixedAlbum(const std::string& folder) {
  WriteFile(folder + "IMG_0001.jpg", EncodeFixtureJpeg(GradientPixels(320, 240)));
  WriteFile(folder + "IMG_0002.jpeg", EncodeFixtureJpeg(QuarterPixels(150, 260)));
  JpegFixtureOptions grey;
  grey.space = JpegFixtureOptions::Space::kGray;
  WriteFile(folder + "Ceremony/Family/grey.jpg",
            EncodeFixtureJpeg(FlatPixels(200, 200, {90}), grey));
  WriteFile(folder + "IMG_0003.JPG", EncodeFixtureJpeg(GradientPixels(64, 48)));
  WriteFile(folder + "broken.jpg", "not a picture at all");
  WriteFile(folder + "notes.txt", "Ceremony at ten.\n");
  WriteFile(folder + "婚礼照片说明.txt", "仪式十点开始。\n");
  WriteFile(folder + "Ceremony/empty.txt", "");
}

std::vector<ZipEntryInfo> ReadZipWithPython(const std::string& archive) {
  const CommandResult result = RunCommand(Python(kListScript) + " " + ShellQuoted(archive));
  EXPECT_EQ(result.status, 0) << "Python's zipfile rejects " << archive;
  std::vector<ZipEntryInfo> entries;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    ZipEntryInfo entry;
    std::string flag, size, method;
    std::getline(fields, entry.name, '\t');
    std::getline(fields, flag, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, method, '\t');
    std::getline(fields, entry.date);
    entry.flag_bits = std::stoi(flag);
    entry.size = std::stol(size);
    entry.method = std::stoi(method);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string ZipEntryDataWithPython(const std::string& archive, const std::string& name) {
  const CommandResult result =
      RunCommand(Python(kReadScript) + " " + ShellQuoted(archive) + " " + ShellQuoted(name));
  EXPECT_EQ(result.status, 0) << "cannot read " << name << " from " << archive;
  return result.output;
}

std::string PreferenceFileText(const std::string& out_folder, const std::string& studio,
                               int quality, int max_width) {
  return "\xEF\xBB\xBF\r\n[Option]\r\nOutFolder = " + out_folder + "\r\nStudio = " + studio +
         "\r\nImageQuality = " + std::to_string(quality) +
         "\r\nImageMaxWidth = " + std::to_string(max_width) + "\r\nFinishedOpenFolder = 0\r\n";
}

}  // namespace lormex::testing
