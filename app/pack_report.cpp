#include "app/pack_report.h"

#include <algorithm>
#include <cwchar>

#include "packing/elapsed_time.h"

namespace lormex {
namespace {

// One character of a UTF-8 text with the columns it takes.
struct Glyph {
  std::string bytes;
  int width = 1;
};

std::vector<Glyph> Glyphs(const std::string& text) {
  std::vector<Glyph> glyphs;
  std::mbstate_t state{};
  std::size_t at = 0;
  while (at < text.size()) {
    wchar_t wide = 0;
    const std::size_t length = std::mbrtowc(&wide, text.data() + at, text.size() - at, &state);
    if (length == 0 || length == static_cast<std::size_t>(-1) ||
        length == static_cast<std::size_t>(-2)) {
      glyphs.push_back({text.substr(at, 1), 1});
      state = std::mbstate_t{};
      ++at;
      continue;
    }
    const int width = wcwidth(wide);
    glyphs.push_back({text.substr(at, length), width < 0 ? 1 : width});
    at += length;
  }
  return glyphs;
}

// A name as the terminal line may show it: no control characters, nothing that is not UTF-8.
std::vector<Glyph> ShownName(const std::string& name) {
  std::vector<Glyph> glyphs = Glyphs(name);
  for (Glyph& glyph : glyphs) {
    const auto first = static_cast<unsigned char>(glyph.bytes[0]);
    const bool control = first < 0x20 || first == 0x7f ||
                         (glyph.bytes.size() == 2 && first == 0xc2 &&
                          static_cast<unsigned char>(glyph.bytes[1]) < 0xa0);
    const bool undecoded = glyph.bytes.size() == 1 && first >= 0x80;
    if (control || undecoded) glyph = {"?", 1};
  }
  return glyphs;
}

int Width(const std::vector<Glyph>& glyphs) {
  int width = 0;
  for (const Glyph& glyph : glyphs) width += glyph.width;
  return width;
}

// At most `room` columns of `glyphs`; "..." marks a cut.
std::string Fit(const std::vector<Glyph>& glyphs, int room) {
  std::string text;
  if (Width(glyphs) <= room) {
    for (const Glyph& glyph : glyphs) text += glyph.bytes;
    return text;
  }
  const int keep = room - 3;
  if (keep < 0) return std::string(static_cast<std::size_t>(std::max(room, 0)), '.');
  int used = 0;
  for (const Glyph& glyph : glyphs) {
    if (used + glyph.width > keep) break;
    text += glyph.bytes;
    used += glyph.width;
  }
  return text + "...";
}

std::string AlbumLabel(int number, int total) {
  return "相册 " + std::to_string(number) + "/" + std::to_string(total);
}

}  // namespace

int DisplayWidth(const std::string& text) { return Width(Glyphs(text)); }

std::string ProgressLine(int album_number, int album_total, const std::string& album_name,
                         int files_done, int file_count, std::int64_t seconds, int columns) {
  const std::string prefix = AlbumLabel(album_number, album_total) + " ";
  // Files added after the count would otherwise show as 350/340.
  const std::string suffix = "：" + std::to_string(files_done) + "/" +
                             std::to_string(std::max(file_count, files_done)) + " 个文件 " +
                             ElapsedTimeText(seconds);
  const int room = columns - 1 - DisplayWidth(prefix) - DisplayWidth(suffix);
  const std::string line = prefix + Fit(ShownName(album_name), std::max(room, 4)) + suffix;
  // A very narrow terminal: the line is cut, never wrapped, or "\r" would not reach its start.
  return Fit(Glyphs(line), columns - 1);
}

std::string SummaryText(const PackTotals& totals) {
  std::string text;
  if (totals.cancelled) {
    const int left = totals.albums - totals.albums_done - totals.albums_failed;
    text += "打包已中断：" + std::to_string(totals.albums) + " 个相册，完成 " +
            std::to_string(totals.albums_done) + " 个，失败 " +
            std::to_string(totals.albums_failed) + " 个，未打包 " + std::to_string(left) + " 个\n";
  } else {
    text += "打包结束：" + std::to_string(totals.albums) + " 个相册，完成 " +
            std::to_string(totals.albums_done) + " 个，失败 " +
            std::to_string(totals.albums_failed) + " 个\n";
  }
  const AlbumPackStats& files = totals.files;
  text += "文件：重新编码 " + std::to_string(files.reencoded) + " 个，原样存入 " +
          std::to_string(files.stored) + " 个，无法重新编码而原样存入 " +
          std::to_string(files.kept_original) + " 个，失败 " + std::to_string(files.failed) +
          " 个\n";
  if (!totals.failed_names.empty()) {
    text += "失败的相册：";
    for (std::size_t i = 0; i < totals.failed_names.size(); ++i) {
      text += (i == 0 ? "" : "、") + totals.failed_names[i];
    }
    text += "\n";
  }
  text += "用时：" + ElapsedTimeText(totals.seconds) + "\n";
  return text;
}

PackReporter::PackReporter(std::FILE* stream, Mode mode, int album_total, int columns, bool dumb)
    : stream_(stream),
      mode_(mode),
      album_total_(album_total),
      columns_(std::max(columns, 20)),
      dumb_(dumb),
      start_(std::chrono::steady_clock::now()) {
  if (mode_ == Mode::kTerminal) clock_ = std::thread([this] { Tick(); });
}

PackReporter::~PackReporter() { EndRun(); }

std::int64_t PackReporter::ElapsedSeconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_)
      .count();
}

void PackReporter::Tick() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    // Once a second, so the time moves while one large file is stored.
    wake_.wait_for(lock, std::chrono::seconds(1));
    if (!stopping_ && !line_.empty()) DrawLocked();
  }
}

void PackReporter::DrawLocked() {
  if (mode_ != Mode::kTerminal || current_ < 0) return;
  const Album& album = albums_[static_cast<std::size_t>(current_)];
  const std::string line = ProgressLine(album.number, album_total_, album.name, files_done_,
                                        file_count_, ElapsedSeconds(), columns_);
  std::string text = "\r" + line;
  if (dumb_) {
    const int gap = DisplayWidth(line_) - DisplayWidth(line);
    if (gap > 0) text += std::string(static_cast<std::size_t>(gap), ' ');
  } else {
    text += "\033[K";
  }
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fflush(stream_);
  line_ = line;
  last_draw_ = std::chrono::steady_clock::now();
}

void PackReporter::ClearLineLocked() {
  if (line_.empty()) return;
  const std::string text =
      dumb_ ? "\r" + std::string(static_cast<std::size_t>(DisplayWidth(line_)), ' ') + "\r"
            : std::string("\r\033[K");
  std::fwrite(text.data(), 1, text.size(), stream_);
  line_.clear();
}

void PackReporter::WriteLocked(const std::string& text) {
  const bool had_line = !line_.empty();
  ClearLineLocked();
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fflush(stream_);
  if (had_line) DrawLocked();
}

void PackReporter::Counting(int album_number) {
  if (mode_ != Mode::kTerminal) return;
  std::lock_guard lock(mutex_);
  const std::string line = "正在统计相册中的文件 " + std::to_string(album_number) + "/" +
                           std::to_string(album_total_) + "……";
  ClearLineLocked();
  std::fwrite(line.data(), 1, line.size(), stream_);
  std::fflush(stream_);
  line_ = line;
}

void PackReporter::AlbumRefused(int album_number, const std::string& name,
                                const std::string& folder, const std::string& reason) {
  std::lock_guard lock(mutex_);
  WriteLocked("失败：" + AlbumLabel(album_number, album_total_) + " " + name + "（" + folder +
              "）：" + reason + "\n");
}

void PackReporter::Warn(const std::string& text) {
  if (mode_ == Mode::kQuiet) return;
  std::lock_guard lock(mutex_);
  WriteLocked("注意：" + text + "\n");
}

void PackReporter::BeginRun(std::vector<Album> albums) {
  std::lock_guard lock(mutex_);
  ClearLineLocked();
  albums_ = std::move(albums);
}

void PackReporter::EndRun() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    current_ = -1;
    ClearLineLocked();
    std::fflush(stream_);
  }
  wake_.notify_all();
  if (clock_.joinable()) clock_.join();
}

void PackReporter::AlbumStarted(int index, int file_count) {
  std::lock_guard lock(mutex_);
  current_ = index;
  file_count_ = file_count;
  files_done_ = 0;
  const Album& album = albums_[static_cast<std::size_t>(index)];
  if (mode_ == Mode::kTerminal) {
    DrawLocked();
  } else if (mode_ == Mode::kLines) {
    WriteLocked(AlbumLabel(album.number, album_total_) + " 开始：" + album.name + "（" +
                std::to_string(file_count) + " 个文件）\n");
  }
}

void PackReporter::FileDone(int index, int file_counter) {
  std::lock_guard lock(mutex_);
  if (index != current_) return;
  files_done_ = file_counter;
  if (mode_ == Mode::kTerminal &&
      std::chrono::steady_clock::now() - last_draw_ >= std::chrono::milliseconds(100)) {
    DrawLocked();
  }
}

void PackReporter::AlbumFinished(int index, const AlbumOutcome& outcome) {
  std::lock_guard lock(mutex_);
  const Album& album = albums_[static_cast<std::size_t>(index)];
  const std::string label = AlbumLabel(album.number, album_total_);
  ClearLineLocked();
  current_ = -1;
  std::string text;
  if (mode_ != Mode::kQuiet) {
    for (const FileFailure& kept : outcome.pack.kept_original) {
      text += "注意：" + kept.path + "：无法重新编码，已原样存入：" + kept.reason + "\n";
    }
  }
  if (outcome.ok) {
    if (mode_ != Mode::kQuiet) {
      text += label + " 完成：" + album.name + " → " + outcome.archive_path + "（" +
              std::to_string(outcome.pack.stats.files) + " 个文件，已用时 " +
              ElapsedTimeText(ElapsedSeconds()) + "）\n";
    }
  } else {
    text += "失败：" + label + " " + album.name + "（" + album.folder + "）：" +
            outcome.archive_error + "\n";
    for (const FileFailure& failure : outcome.pack.failures) {
      text += "  " + failure.path + "：" + failure.reason + "\n";
    }
  }
  WriteLocked(text);
}

}  // namespace lormex
