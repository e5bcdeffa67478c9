#pragma once

#include <FL/Enumerations.H>

// Layout of the main window as it was designed at 96 pixels per inch: positions are left, top
// within the parent, sizes width x height, all in pixels. Captions are UTF-8.
namespace etherm::main_window_layout {

struct Bounds {
  int x, y, w, h;
};

struct FontStyle {
  Fl_Font face;
  Fl_Fontsize size;  // pixel height of the character cell's em, as the designed heights give it
};

inline constexpr char kCaption[] =
    "Analiza elektrotermiczna ukladów elektronicznych metodą rozdzielonych iteracji";

// The designed outer size includes a sizeable frame of 4 pixels a side and a 19-pixel title
// bar; the toolkit sizes the client area and lets the window manager add its own frame.
inline constexpr int kLeft = 204;
inline constexpr int kTop = 249;
inline constexpr int kOuterWidth = 543;
inline constexpr int kOuterHeight = 390;
inline constexpr int kFrameWidth = 4;
inline constexpr int kTitleBarHeight = 19;
inline constexpr int kClientWidth = kOuterWidth - 2 * kFrameWidth;
inline constexpr int kDesignedClientHeight = kOuterHeight - 2 * kFrameWidth - kTitleBarHeight;
// Below the designed area: the status panel, so the status lines no longer stand on the header.
inline constexpr int kStatusPanelHeight = 104;
inline constexpr int kClientHeight = kDesignedClientHeight - 7 + kStatusPanelHeight + 8;

// "MS Sans Serif" is drawn with Helvetica, "Times New Roman" with Times, bold where designed.
inline constexpr FontStyle kWindowFont{FL_HELVETICA, 11};
inline constexpr FontStyle kButtonFont{FL_HELVETICA_BOLD, 13};
inline constexpr FontStyle kEditFont{FL_HELVETICA, 16};
inline constexpr FontStyle kNameLabelFont{FL_TIMES_BOLD, 16};
inline constexpr FontStyle kDepartmentFont{FL_TIMES_BOLD, 24};
inline constexpr FontStyle kLabFont{FL_TIMES_BOLD, 19};

inline constexpr Bounds kNameLabel{32, 112, 167, 19};
inline constexpr Bounds kStartTranButton{384, 176, 113, 41};
inline constexpr Bounds kQuitButton{384, 288, 113, 41};
inline constexpr Bounds kNameInput{32, 136, 169, 28};
inline constexpr Bounds kEnterButton{384, 120, 113, 41};
inline constexpr Bounds kStartDcButton{384, 232, 113, 41};
inline constexpr Bounds kHeaderGroup{16, 8, 497, 89};
inline constexpr Bounds kLogo{336, 16, 153, 65};            // within headerGroup
inline constexpr Bounds kDepartmentLabel{16, 16, 316, 26};  // within headerGroup
inline constexpr Bounds kLabLabel{40, 56, 226, 22};         // within headerGroup
inline constexpr Bounds kLeftBar{0, 8, 9, 337};
inline constexpr Bounds kRightBar{520, 8, 9, 340};
inline constexpr Bounds kRightBarInner{0, 0, 9, 340};  // within rightBar
inline constexpr Bounds kMiddleBar{352, 104, 9, 244};
// Added to the design: the file chooser beside the name field, the working folder below it,
// and the status panel with the progress bar and "Stop".
inline constexpr Bounds kBrowseButton{209, 136, 113, 28};
inline constexpr Bounds kFolderCaptionLabel{32, 180, 300, 19};
inline constexpr Bounds kFolderLabel{32, 204, 310, 15};
inline constexpr Bounds kStatusPanel{16, kDesignedClientHeight - 7, 497, kStatusPanelHeight};
inline constexpr Bounds kProgressBar{30, kStatusPanel.y + 66, 360, 24};
inline constexpr Bounds kStopButton{400, kStatusPanel.y + 62, 100, 32};

inline constexpr char kNameLabelCaption[] = "Nazwa pliku wejściowego";
inline constexpr char kStartTranCaption[] = "Start TRAN";
inline constexpr char kQuitCaption[] = "Koniec";
inline constexpr char kEnterCaption[] = "Wprowadź";
inline constexpr char kStartDcCaption[] = "Start DC";
inline constexpr char kDepartmentCaption[] = "Katedra Elektroniki";
inline constexpr char kLabCaption[] = "Pracownia Elektrotermii";
inline constexpr char kBrowseCaption[] = "Przeglądaj…";
inline constexpr char kFolderCaption[] = "Folder roboczy";
inline constexpr char kStopCaption[] = "Zatrzymaj";
inline constexpr char kChooserTitle[] = "Wybierz plik problemu";
inline constexpr char kChooserFilter[] = "Pliki problemu\t*.par\nWszystkie pliki\t*";

// Status lines, in the status panel: the analyses' at the left, top to bottom iteration,
// simulator, sweep value or window start; the entered name's at the right.
inline constexpr int kStatusX = 30;
inline constexpr int kIterationStatusY = kStatusPanel.y + 8;
inline constexpr int kSimulatorStatusY = kStatusPanel.y + 26;
inline constexpr int kPositionStatusY = kStatusPanel.y + 44;
inline constexpr int kEnteredX = 272;
inline constexpr int kEnteredY = kStatusPanel.y + 8;
inline constexpr int kBaseNameY = kStatusPanel.y + 26;
inline constexpr char kEnteredText[] = "wprowadziłem";

}  // namespace etherm::main_window_layout
