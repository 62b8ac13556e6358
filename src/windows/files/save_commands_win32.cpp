// "Save &Wave" (40030), Save Bitmap "&Window Bitmap" (40033) and "&Entire Bitmap" (40034).
#include "windows/base/handles_win32.h"
#include "windows/files/save_commands_win32.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "windows/base/sound_source_win32.h"
#include "windows/base/analysis_win32.h"
#include "windows/files/files_commands_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/base/wide_text_win32.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "core/export/bitmap_export.h"
#include "core/image/bitmap_file.h"
#include "windows/files/file_chooser_win32.h"
#include "core/export/image_texts.h"
#include "core/image/png_file.h"
#include "core/files/wave_format.h"

namespace hl {

// ---------------------------------------------------------------------------
// ReplacingFile.

ReplacingFile::~ReplacingFile() { Abandon(); }

bool ReplacingFile::Open(const char* target) {
  Abandon();
  failed_ = false;
  wchar_t full[MAX_PATH];
  const DWORD length = GetFullPathNameW(Wide(target).c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  target_ = Utf8(full);

  // An existing file that cannot be opened for writing cannot be replaced either; saying so
  // now gives the message for a file that cannot be created, before anything is written.
  // A read-only file is refused by its attribute, which holds even where the system would let
  // an administrator open it.
  const DWORD attributes = GetFileAttributesW(full);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  FileHandle probe(CreateFileW(full, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe.valid() && GetLastError() != ERROR_FILE_NOT_FOUND) return false;

  // In the target's own folder, so that the final move is a rename, never a copy.
  std::string folder = target_;
  const size_t cut = folder.find_last_of("\\/");
  folder = cut == std::string::npos ? std::string(".") : folder.substr(0, cut + 1);
  wchar_t temporary[MAX_PATH];
  if (!GetTempFileNameW(Wide(folder).c_str(), L"hl", 0, temporary)) return false;
  temporary_ = Utf8(temporary);
  file_.Reset(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_.valid()) {
    DeleteFileW(temporary);
    temporary_.clear();
    return false;
  }
  return true;
}

bool ReplacingFile::Write(const void* data, size_t bytes) {
  if (failed_ || !file_.valid()) {
    failed_ = true;
    return false;
  }
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const DWORD piece = bytes > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes);
    DWORD wrote = 0;
    if (!WriteFile(file_.get(), p, piece, &wrote, nullptr) || wrote != piece) {
      failed_ = true;
      return false;
    }
    p += piece;
    bytes -= piece;
  }
  return true;
}

bool ReplacingFile::Commit() {
  if (!file_.valid()) {
    Abandon();
    return false;
  }
  // A full disk may show up only when the data is flushed or the file closed.
  bool ok = !failed_ && FlushFileBuffers(file_.get()) != 0;
  ok = file_.Close() && ok;
  if (ok) ok = MoveFileExW(Wide(temporary_).c_str(), Wide(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) {
    Abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

void ReplacingFile::Abandon() {
  file_.Close();
  if (!temporary_.empty()) {
    DeleteFileW(Wide(temporary_).c_str());
    temporary_.clear();
  }
}

// ---------------------------------------------------------------------------
// "Save &Wave".

namespace {

// A decoded file's span saved in the file's own bytes, read again from the file, behind a
// header of its own format. Unwritten (false, nothing written yet) when the file cannot be
// read or has no format record to copy; `written` tells whether what was written went well.
// A compressed file's span comes from its decoded WAV image, in the image's own resolution
// (16 bits, or a FLAC's 24).
bool WriteSourceSpan(ReplacingFile& out, const AnalysisState& a, uint32_t length, bool* written) {
  SoundFile source;
  if (!source.Open(a.filePath, FILE_FLAG_SEQUENTIAL_SCAN)) return false;
  const uint64_t bytes = SourceBytesOf(length, a.source);
  const std::vector<uint8_t> header = SourceWaveHeader(a.source, bytes);
  if (header.empty()) return false;
  source.Seek(a.dataOffset + SourceBytesOf(a.fileBeginOffset, a.source));
  bool ok = out.Write(header.data(), header.size());
  std::vector<uint8_t> piece(1u << 20);
  for (uint64_t left = bytes; ok && left > 0;) {
    const size_t want = left < piece.size() ? static_cast<size_t>(left) : piece.size();
    // The file is shorter than when it was analysed: what is missing is not invented.
    ok = source.Read(piece.data(), want) == want && out.Write(piece.data(), want);
    left -= want;
  }
  *written = ok;
  return true;
}

}  // namespace

void OnSaveWave(HWND window, LPARAM) {
  AnalysisState& a = Analysis();
  if (!a.waveDataFlag || !a.sampleBuffer || Mode().rendering) return;
  RedrawView(window, false);
  if (!ChooseSaveWave()) {
    RedrawView(window, true);
    return;
  }
  ReplacingFile file;
  if (!file.Open(WaveSavePath())) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    return;
  }
  HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  // What a stopped analysis drew is the whole analysis: its data length, in whole frames.
  const uint32_t held = std::min(a.dataLength, a.byteCount);
  const uint32_t length = WholeFrames(held, a.format);
  bool written = false;
  const bool decoded = a.source.wavFlag && !IsNativeEncoding(a.source.encoding) && !a.filePath.empty();
  uint8_t* buffer = decoded && WriteSourceSpan(file, a, length, &written)
                        ? nullptr
                        : static_cast<uint8_t*>(GlobalLock(a.sampleBuffer.get()));
  if (buffer) {
    SetWaveDataLength(buffer, length);
    written = file.Write(buffer, static_cast<size_t>(length) + kWaveHeaderLength);
    GlobalUnlock(a.sampleBuffer.get());
  }
  if (written) {
    written = file.Commit();
  } else {
    file.Abandon();
  }
  SetCursor(previous ? previous : LoadCursor(nullptr, IDC_ARROW));
  if (!written) ShowProgramMessage(window, Message::ErrorWritingFile);
  RedrawView(window, true);
}

// ---------------------------------------------------------------------------
// Save Bitmap.

namespace {

// The program's palette as the file's colour table (entries past the palette stay zero).
int PaletteColours(BitmapColor* colors) {
  PALETTEENTRY entries[kPaletteSize] = {};
  const UINT got = Drawing().palette ? GetPaletteEntries(Drawing().palette, 0, kPaletteSize, entries) : 0;
  for (UINT i = 0; i < got; ++i) colors[i] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
  return static_cast<int>(got);
}

// Draws the grid over the composed picture: the picture goes into an 8-bit DIB section with
// the palette as colour table, the grid routine draws there, and the indices come back.
bool DrawGridOver(PaletteImage& picture, bool entire, const BitmapColor* colors, int colorCount) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD table[256];
  } info = {};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = picture.width;
  info.header.biHeight = -picture.height;  // top row first, as the picture
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = 256;
  for (int i = 0; i < colorCount; ++i) info.table[i] = {colors[i].blue, colors[i].green, colors[i].red, 0};

  WindowDc screenOwner(nullptr);
  HDC screen = screenOwner.get();
  void* bits = nullptr;
  GdiObject<HBITMAP> bitmap(
      CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
  // Declared after the bitmap, so that the DC goes first and the bitmap is no longer in it.
  MemoryDc dc(screen);
  if (!bitmap || !dc || !bits) return false;
  const int stride = (picture.width + 3) & ~3;
  uint8_t* rows = static_cast<uint8_t*>(bits);
  for (int y = 0; y < picture.height; ++y) std::memcpy(rows + static_cast<size_t>(y) * stride, picture.Row(y), picture.width);
  SelectedObject selected(dc.get(), bitmap.get());
  HPALETTE oldPalette = SelectPalette(dc.get(), Drawing().palette, FALSE);
  RealizePalette(dc.get());
  DrawGrid(dc.get(), entire);
  GdiFlush();
  for (int y = 0; y < picture.height; ++y) std::memcpy(picture.Row(y), rows + static_cast<size_t>(y) * stride, picture.width);
  if (oldPalette) SelectPalette(dc.get(), oldPalette, FALSE);
  return true;
}

// The analysis behind the image, for the PNG's text chunks.
std::vector<PngText> ShownAnalysisTexts() {
  const AnalysisState& a = Analysis();
  const AnalysisSettings& s = Settings();
  ImageDescription d;
  d.file = a.filePath;
  d.beginMs = a.beginMs;
  d.endMs = a.endMs;
  d.fftLength = 1 << s.FftOrder();
  d.broadband = s.frequencyMode == FrequencyMode::BB;
  d.windowMs = s.windowLengthMs;
  d.timeScaleMs = s.timeScaleMs;
  d.scheme = s.palette;
  d.attenuation = s.attenuation;
  return DescribeImage(d);
}

void SaveBitmap(HWND window, bool entire) {
  if (!Display().exists() || Mode().rendering) return;
  if (!ChooseSaveBitmap()) {
    RedrawView(window, true);
    return;
  }
  // The name's extension, or the filter chosen for a name without one, picks the format.
  const ImageFormat format = ImageFormatOfName(BitmapPath(), ChosenFilterIndex());
  ReplacingFile file;
  if (!file.Open(BitmapPath())) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    return;
  }

  const ViewState& view = View();
  ExportView ev;
  ev.columnCount = Analysis().columnCount;
  ev.bitmapHeight = Display().height;
  ev.imageWidth = ImageAreaWidth();
  ev.imageHeight = ImageAreaHeight();
  ev.horizontalOffset = view.horizontalOffset;
  ev.verticalOffset = view.verticalOffset;
  const ExportPlan plan = PlanBitmapExport(entire, ev);

  BitmapColor colors[kPaletteSize] = {};
  const int colorCount = PaletteColours(colors);
  uint8_t headers[kBitmapHeaderLength];
  Message failure = Message::None;
  PaletteImage picture;
  GdiFlush();
  if (plan.width <= 0 || !WriteBitmapHeaders(headers, plan.width, plan.height, colors, colorCount)) {
    failure = Message::BitmapError;
  } else if (!ComposeExport(Display().Image(), plan, picture)) {
    failure = Message::NotEnoughMemoryForBitmap;
  } else if (Mode().gridOn && !DrawGridOver(picture, entire, colors, colorCount)) {
    failure = Message::NotEnoughMemoryForBitmap;
  } else if (format == ImageFormat::Png) {
    const std::vector<uint8_t> png = BuildPngFile(picture.data, picture.stride, plan.width, plan.height, colors,
                                                  colorCount, ShownAnalysisTexts(),
                                                  static_cast<int>(std::thread::hardware_concurrency()));
    if (png.empty()) {
      failure = Message::NotEnoughMemoryForBitmap;
    } else if (!file.Write(png.data(), png.size()) || !file.Commit()) {
      failure = Message::ErrorWritingFile;
    }
  } else {
    // Rows bottom-up, as the file stores them.
    bool written = file.Write(headers, sizeof headers);
    for (int y = plan.height - 1; written && y >= 0; --y) written = file.Write(picture.Row(y), plan.width);
    if (!written || !file.Commit()) failure = Message::ErrorWritingFile;
  }
  if (failure != Message::None) {
    file.Abandon();
    ShowProgramMessage(window, failure);
  }
  RedrawView(window, true);
}

}  // namespace

void OnSaveWindowBitmap(HWND window, LPARAM) { SaveBitmap(window, false); }
void OnSaveEntireBitmap(HWND window, LPARAM) { SaveBitmap(window, true); }

}  // namespace hl
