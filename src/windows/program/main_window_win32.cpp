#include "windows/program/main_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "windows/program/commands_win32.h"
#include "windows/files/data_log_win32.h"
#include "windows/base/sound_source_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/analysis/given_file_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/sound/capture_win32.h"
#include "windows/sound/transport_win32.h"
#include "windows/base/wide_text_win32.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "windows/view/readout_win32.h"
#include "core/layout/view_layout.h"
#include "windows/view/view_win32.h"
#include "windows/files/file_chooser_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr int kEscapeKey = 27;
constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED, Windows 8.1 on

HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style, int id, const Rect& r) {
  return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, r.x, r.y, r.width, r.height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         MainWindow().instance, nullptr);
}

void PrepareScrollBar(HWND bar) {
  ShowScrollBar(bar, SB_CTL, TRUE);
  EnableScrollBar(bar, SB_CTL, ESB_ENABLE_BOTH);
  SetScrollRange(bar, SB_CTL, 0, 0, FALSE);
  SetScrollPos(bar, SB_CTL, 0, TRUE);
}

void CreateChildren(HWND window) {
  MainWindowState& s = MainWindow();
  const ChildLayout& l = s.layout;
  s.horizontalScrollBar = CreateChild(window, "SCROLLBAR", "", SBS_HORZ, 0, l.horizontalScrollBar);
  s.verticalScrollBar = CreateChild(window, "SCROLLBAR", "", SBS_VERT, 0, l.verticalScrollBar);
  s.playButton = CreateChild(window, "BUTTON", "Play", BS_PUSHBUTTON | WS_DISABLED, IDB_PLAY, l.play);
  s.playWindowButton =
      CreateChild(window, "BUTTON", "Play Wdw", BS_PUSHBUTTON | WS_DISABLED, IDB_PLAY_WINDOW, l.playWindow);
  s.toggleGridButton =
      CreateChild(window, "BUTTON", "Toggle Grid", BS_PUSHBUTTON | WS_DISABLED, IDB_TOGGLE_GRID, l.toggleGrid);
  s.stopButton = CreateChild(window, "BUTTON", "Stop", BS_PUSHBUTTON | WS_DISABLED, IDB_STOP, l.stop);
  PrepareScrollBar(s.horizontalScrollBar);
  PrepareScrollBar(s.verticalScrollBar);
}

// The memory an analysis may use. A 32-bit process on a machine with more memory than its
// address space still cannot allocate past that space, so both limits count.
void MeasureMemory() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  GlobalMemoryStatusEx(&status);
  MainWindow().memory = ComputeMemoryBudget(status.ullAvailPhys, status.ullAvailVirtual);
  Mode().lowMemory = MainWindow().memory.lowMemory ? 1 : 0;
}

// The texts under the image in the font selected into `dc` (the window's), and the width the
// window needs to show them beside each other; the default width grows to it.
void MeasureTexts(HDC dc) {
  MainWindowState& s = MainWindow();
  s.textWidths = MeasureTextsUnderImage(dc);
  s.textMinimumWidth = TextMinimumWidth(s.metrics, s.textWidths, s.sizes.defaultWidth, s.sizes.maxWidth);
  if (s.sizes.defaultWidth < s.textMinimumWidth) s.sizes.defaultWidth = s.textMinimumWidth;
}

void ReadMetrics(HDC dc) {
  MainWindowState& s = MainWindow();
  s.systemDpi = GetDeviceCaps(dc, LOGPIXELSY);
  TEXTMETRICA text;
  GetTextMetricsA(dc, &text);
  s.metrics.captionHeight = GetSystemMetrics(SM_CYCAPTION);
  s.metrics.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  s.metrics.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  s.metrics.charHeight = text.tmHeight;
  s.metrics.charWidth = text.tmAveCharWidth;
  s.sizes = ComputeWindowSizes(s.metrics);
  MeasureTexts(dc);
}

void CheckColours(HWND window, HDC dc) {
  const int size = GetDeviceCaps(dc, SIZEPALETTE);
  const int reserved = GetDeviceCaps(dc, NUMRESERVED);
  const int free = size - reserved;
  if (free >= 1 && free < kPaletteSize) {
    ShowMessage(window, "Not enough colors are avalable.", MB_ICONEXCLAMATION);
  }
  if (size <= 0) Mode().nonPaletteDisplay = 1;
}

LRESULT OnCreate(HWND window) {
  MainWindowState& s = MainWindow();
  if (s.createDone) return 0;
  s.window = window;

  const DWORD version = GetVersion();
  if ((version & 0xFFFF) < 4) ShowMessage(window, "This program is designed for Windows 95.", MB_ICONEXCLAMATION);

  MeasureMemory();
  InitFileChooser(window);

  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  ReadMetrics(dc);
  CheckColours(window, dc);

  s.windowWidth = s.sizes.defaultWidth;
  s.windowHeight = s.sizes.defaultHeight;
  const Rect placed = CentredWindow(s.metrics, s.windowWidth, s.windowHeight);
  MoveWindow(window, placed.x, placed.y, placed.width, placed.height, FALSE);

  RECT client;
  GetClientRect(window, &client);
  s.layout = InitialChildLayout(s.metrics, s.windowWidth, client.right - client.left);
  CreateChildren(window);

  const int offset = PaletteOffset(0);
  CreateDrawingObjects(window, dc, offset);

  SetMenuState(window, MenuState::Idle);
  // A wave file dropped from a file manager is analysed as a chosen one.
  DragAcceptFiles(window, TRUE);
  s.createDone = true;
  LoadPalette(window, offset);
  return 0;
}

LRESULT OnClose(HWND window) {
  OperatingMode& mode = Mode();
  mode.stopRequest = 1;
  ResetAudioDevicesForClose();
  // Let the loops still running and the devices' last messages finish before anything
  // they use is freed.
  DrainMessageQueue();
  ReleaseAnalysisForClose();
  // The scan and the recording release the shown analysis too, but the file a scan plays may
  // be a decoded one: its image goes only here.
  ReleaseDecodedSounds(std::string());
  {
    WindowDc dc(window);
    DeleteDrawingObjects(dc.get());
  }
  if (MainWindow().font) {
    DeleteObject(MainWindow().font);
    MainWindow().font = nullptr;
  }
  if (AllocationCount() != 0) MessageBeep(0);
  DestroyWindow(window);
  return 0;
}

// The caption height at `dpi`: asked of the system where it can say (Windows 10 1607 on),
// else the start's scaled.
int CaptionHeightFor(int dpi) {
  using ForDpi = int(WINAPI*)(int, UINT);
  // Through void* : FARPROC's own type does not match, which GCC warns about.
  static const ForDpi forDpi = reinterpret_cast<ForDpi>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetSystemMetricsForDpi")));
  if (forDpi) return forDpi(SM_CYCAPTION, static_cast<UINT>(dpi));
  return MulDiv(GetSystemMetrics(SM_CYCAPTION), dpi, MainWindow().systemDpi);
}

// The window moved to a screen of another DPI, or the screen's scale changed. The font is
// the system font scaled to the new DPI in both directions, so that text keeps its shape;
// the metrics read from it make the layout, and the suggested rectangle is taken before the
// resize step fits the window's size to them, keeping the suggested position. The image is not touched: it stays one
// column per device pixel.
LRESULT OnDpiChanged(HWND window, WPARAM wParam, LPARAM lParam) {
  MainWindowState& s = MainWindow();
  const int dpi = HIWORD(wParam);
  if (dpi <= 0 || !s.createDone) return 0;
  HFONT font = nullptr;
  if (dpi != s.systemDpi) {
    LOGFONTA system{};
    GetObjectA(GetStockObject(SYSTEM_FONT), sizeof system, &system);
    system.lfHeight = MulDiv(system.lfHeight, dpi, s.systemDpi);
    system.lfWidth = MulDiv(system.lfWidth, dpi, s.systemDpi);
    font = CreateFontIndirectA(&system);
  }
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
  TEXTMETRICA text;
  GetTextMetricsA(dc, &text);
  for (HWND button : {s.playButton, s.playWindowButton, s.toggleGridButton, s.stopButton}) {
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (s.font) DeleteObject(s.font);
  s.font = font;
  s.metrics.captionHeight = CaptionHeightFor(dpi);
  s.metrics.charHeight = text.tmHeight;
  s.metrics.charWidth = text.tmAveCharWidth;
  s.sizes = ComputeWindowSizes(s.metrics);
  MeasureTexts(dc);
  if (previous) SelectObject(dc, previous);

  // Centring on the primary screen, as a resize does, would carry a window that was moved
  // to another screen back across the border, and its DPI with it.
  s.keepPosition = true;
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  if (suggested) {
    SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Also when the rectangle kept the size and no WM_SIZE came.
  OnSize(window);
  s.keepPosition = false;
  InvalidateRect(window, nullptr, TRUE);
  return 0;
}

// The readout's gestures, and what they ask of the data log and the analysis.
LRESULT OnMouse(HWND window, UINT message, LPARAM lParam) {
  switch (OnMouseMessage(window, message, lParam, OpenDataLogDialog() != nullptr)) {
    case Gesture::LogClick:
      MeasureForLog();
      break;
    case Gesture::SpanSelected:
      ChangeParameters(window, ChangeOffer::Selection);
      RunHandedOverScan(window);
      break;
    case Gesture::None:
      break;
  }
  return 0;
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  RunCommand(window, LOWORD(wParam), lParam);
  return 0;
}

LRESULT OnNonClientMouseMove(HWND window) {
  const OperatingMode& mode = Mode();
  if (!Display().exists() && !mode.audioInputActive && !mode.fileScanPlaybackActive) return 0;
  if (mode.rendering || mode.rightButtonHeld) return 0;
  BlankReadoutOutsideImage(window);
  return 0;
}

LRESULT OnQueryNewPalette(HWND window) {
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  SelectPalette(dc, Drawing().palette, FALSE);
  if (RealizePalette(dc) > 0) InvalidateRect(window, nullptr, TRUE);
  return 0;
}

LRESULT OnPaletteChanged(HWND window, HWND changedBy) {
  if (changedBy == window) return 0;
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  SelectPalette(dc, Drawing().palette, FALSE);
  if (RealizePalette(dc) > 0) UpdateColors(dc);
  return 0;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      return OnClose(window);
    case WM_PAINT:
      return OnPaint(window);
    case WM_SIZE:
      return OnSize(window);
    case WM_HSCROLL:
      return OnHorizontalScroll(window, wParam);
    case WM_VSCROLL:
      return OnVerticalScroll(window, wParam);
    case WM_NCMOUSEMOVE:
      return OnNonClientMouseMove(window);
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return OnMouse(window, message, lParam);
    case MM_WIM_DATA:
      return OnWaveInData(window, wParam, lParam);
    case MM_WIM_CLOSE:
      return OnWaveInClose(window, wParam, lParam);
    case MM_WOM_DONE:
      return OnWaveOutDone(window, wParam, lParam);
    case WM_KEYDOWN:
      if (wParam == kEscapeKey) OnStop(window, 0);
      return 0;
    case WM_COMMAND:
      return OnCommand(window, wParam, lParam);
    case WM_QUERYNEWPALETTE:
      return OnQueryNewPalette(window);
    case WM_PALETTECHANGED:
      return OnPaletteChanged(window, reinterpret_cast<HWND>(wParam));
    case kDpiChanged:
      return OnDpiChanged(window, wParam, lParam);
    case WM_DROPFILES:
      // Run here, not posted: a drop that comes while the command runs finds it busy.
      if (TakeDroppedFile(window, reinterpret_cast<HDROP>(wParam))) {
        RunCommand(window, IDM_ANALYZE_FILE, static_cast<LPARAM>(AnalysisStart::FileChosen));
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  // The themed (version 6) classes of the standard controls, for the window and its dialogs.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // A wide window: its caption holds a file's name in any script.
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_HARROWLIGHT));
  windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_HARROWLIGHT));
  windowClass.hCursor = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_HARROWLIGHT));
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszMenuName = L"HARROWLIGHT";
  const std::wstring className = Wide(kWindowClass);
  windowClass.lpszClassName = className.c_str();
  return RegisterClassExW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, int showCommand) {
  MainWindow().instance = instance;
  HWND window = CreateWindowExW(0, Wide(kWindowClass).c_str(), Wide(kCaption).c_str(), WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                instance, nullptr);
  if (!window) return nullptr;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return window;
}

int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsModelessDialogMessage(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace hl
