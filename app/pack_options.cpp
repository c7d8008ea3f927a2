#include "app/pack_options.h"

#include <dirent.h>

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QStringList>
#include <cerrno>
#include <charconv>
#include <set>

#include "packing/errno_text.h"
#include "settings/preference_file.h"

#ifndef LORMEX_VERSION
#error "LORMEX_VERSION must name the project version"
#endif

namespace lormex {
namespace {

QString Q(const std::string& text) { return QString::fromUtf8(text); }
std::string S(const QString& text) { return text.toUtf8().toStdString(); }

std::string HelpText(const Settings& defaults) {
  const std::string out = defaults.OutFolder.empty() ? "未设置" : defaults.OutFolder;
  const std::string studio = defaults.Studio.empty() ? "空" : defaults.Studio;
  return "用法：lormex-pack [选项] 相册文件夹...\n"
         "\n"
         "把每个相册文件夹打包成输出文件夹中的一个 ZIP 压缩包“工作室_相册名.zip”：\n"
         "“jpg”和“jpeg”图片按尺寸上限重新编码，其他文件原样存入；结果与窗口程序的打包完全相同。\n"
         "默认值取自当前目录中的 " +
         std::string(kPreferenceFileName) +
         "，选项优先。\n"
         "\n"
         "选项：\n"
         "  -o, --out <文件夹>     打包输出文件夹（当前：" +
         out +
         "）\n"
         "  -s, --studio <名称>    工作室名称，压缩包名称的前缀，可为空（当前：" +
         studio +
         "）\n"
         "      --max-size <像素>  重新编码后图片长边的像素数，1 到 65500（当前：" +
         std::to_string(defaults.ImageMaxWidth) +
         "）\n"
         "      --quality <数值>   JPEG 图片质量，1 到 100（当前：" +
         std::to_string(defaults.ImageQuality) +
         "）\n"
         "  -j, --jobs <数量>      编码图片的线程数，1 到 256（默认：全部处理器）\n"
         "  -q, --quiet            只输出失败信息\n"
         "  -h, --help             显示本帮助\n"
         "      --version          显示版本\n"
         "\n"
         "退出状态：0 所有相册都已打包并校验；1 有相册打包失败；2 用法错误，未打包；\n"
         "130 被 Ctrl+C 中断（143 被 SIGTERM 终止）。\n";
}

PackCommand UsageError(std::string text) {
  PackCommand command;
  command.action = PackCommand::Action::kUsageError;
  command.text = std::move(text);
  return command;
}

// QCommandLineParser words its errors in English; the user reads Chinese.
std::string ParserErrorText(const QCommandLineParser& parser) {
  const QString error = parser.errorText();
  static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
  static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
  if (const QRegularExpressionMatch m = missing.match(error); m.hasMatch()) {
    return "选项 " + S(m.captured(1)) + " 缺少取值";
  }
  if (const QRegularExpressionMatch m = unexpected.match(error); m.hasMatch()) {
    return "选项 " + S(m.captured(1)) + " 不带取值";
  }
  if (!parser.unknownOptionNames().isEmpty()) {
    QStringList names;
    for (const QString& name : parser.unknownOptionNames()) {
      names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    }
    return "未知选项：" + S(names.join(QStringLiteral("、")));
  }
  return "命令行有误：" + S(error);
}

// A whole decimal integer within [low, high]; no sign other than "-", no blanks, no fraction.
bool ParseBoundedInt(const QCommandLineParser& parser, const QString& name, int low, int high,
                     int* value, std::string* error) {
  const std::string text = S(parser.value(name));
  const std::string option = "--" + S(name);
  int number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, code] = std::from_chars(text.data(), end, number);
  if (text.empty() || stop != end ||
      (code != std::errc() && code != std::errc::result_out_of_range)) {
    *error = option + " 的取值“" + text + "”不是整数";
    return false;
  }
  if (code == std::errc::result_out_of_range || number < low || number > high) {
    *error = option + " 必须在 " + std::to_string(low) + " 到 " + std::to_string(high) +
             " 之间，给出的是 " + text;
    return false;
  }
  *value = number;
  return true;
}

// Why the output folder cannot be used, or nothing when it can be listed.
std::string OutFolderProblem(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return ErrnoText(("打包输出文件夹不存在或无法列出：" + folder).c_str(), errno);
  }
  closedir(dir);
  return std::string();
}

}  // namespace

std::string AbsoluteFolderPath(const std::string& path, const std::string& working_folder) {
  // Byte for byte, without Qt: a folder name need not be UTF-8 on Linux.
  const std::string joined =
      !path.empty() && path.front() == '/' ? path : working_folder + "/" + path;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string absolute = "/";
  for (const std::string& part : parts) absolute += part + "/";
  return absolute;
}

PackCommand ParsePackArguments(const std::vector<std::string>& arguments, const Settings& defaults,
                               const std::string& working_folder) {
  QStringList list;
  for (const std::string& argument : arguments) {
    QString text = Q(argument);
    // A name that is not UTF-8 would reach the archive changed, so it is refused, not guessed.
    if (S(text) != argument) {
      return UsageError("参数不是有效的 UTF-8 文本：" + S(text));
    }
    list.append(std::move(text));
  }
  if (list.isEmpty()) list.append(QStringLiteral("lormex-pack"));

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  const QCommandLineOption out({QStringLiteral("o"), QStringLiteral("out")}, QString(),
                               QStringLiteral("folder"));
  const QCommandLineOption studio({QStringLiteral("s"), QStringLiteral("studio")}, QString(),
                                  QStringLiteral("name"));
  const QCommandLineOption max_size(QStringLiteral("max-size"), QString(), QStringLiteral("px"));
  const QCommandLineOption quality(QStringLiteral("quality"), QString(), QStringLiteral("n"));
  const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")}, QString(),
                                QStringLiteral("n"));
  const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  parser.addOptions({out, studio, max_size, quality, jobs, quiet, help, version});
  parser.addPositionalArgument(QStringLiteral("album"), QString());

  if (!parser.parse(list)) return UsageError(ParserErrorText(parser));

  PackCommand command;
  if (parser.isSet(help)) {
    command.action = PackCommand::Action::kHelp;
    command.text = HelpText(defaults);
    return command;
  }
  if (parser.isSet(version)) {
    command.action = PackCommand::Action::kVersion;
    command.text = std::string("lormex-pack ") + LORMEX_VERSION + "\n";
    return command;
  }

  PackOptions& options = command.options;
  options.settings = defaults;
  options.quiet = parser.isSet(quiet);
  std::string error;
  if (parser.isSet(max_size) &&
      !ParseBoundedInt(parser, QStringLiteral("max-size"), kPackMinMaxSize, kPackMaxMaxSize,
                       &options.settings.ImageMaxWidth, &error)) {
    return UsageError(error);
  }
  if (parser.isSet(quality) &&
      !ParseBoundedInt(parser, QStringLiteral("quality"), kPackMinQuality, kPackMaxQuality,
                       &options.settings.ImageQuality, &error)) {
    return UsageError(error);
  }
  if (parser.isSet(jobs) && !ParseBoundedInt(parser, QStringLiteral("jobs"), kPackMinJobs,
                                             kPackMaxJobs, &options.jobs, &error)) {
    return UsageError(error);
  }

  if (parser.isSet(studio)) options.settings.Studio = S(parser.value(studio));
  // Every archive name would lead out of the output folder: no album could be packed.
  if (options.settings.Studio.find('/') != std::string::npos) {
    return UsageError(
        "工作室名称“" + options.settings.Studio + "”中含有“/”，不能作为文件名" +
        (parser.isSet(studio) ? "" : "（来自 " + std::string(kPreferenceFileName) + "）"));
  }

  std::string out_folder = defaults.OutFolder;
  if (parser.isSet(out)) {
    out_folder = S(parser.value(out));
    if (out_folder.empty()) return UsageError("--out 的取值不能为空");
  }
  if (out_folder.empty()) {
    return UsageError("未设置打包输出文件夹：请用 --out 指定，或在窗口程序的设置中选择");
  }
  out_folder = AbsoluteFolderPath(out_folder, working_folder);
  if (std::string problem = OutFolderProblem(out_folder); !problem.empty()) {
    return UsageError(problem);
  }
  options.settings.OutFolder = out_folder;

  const QStringList albums = parser.positionalArguments();
  if (albums.isEmpty()) return UsageError("没有给出相册文件夹");
  std::set<std::string> seen;
  for (const QString& album : albums) {
    if (album.isEmpty()) return UsageError("相册文件夹不能是空文本");
    std::string folder = AbsoluteFolderPath(S(album), working_folder);
    if (!seen.insert(folder).second) {
      options.warnings.push_back("相册文件夹重复给出，只打包一次：" + folder);
      continue;
    }
    options.album_folders.push_back(std::move(folder));
  }
  command.action = PackCommand::Action::kPack;
  return command;
}

}  // namespace lormex
