#pragma once

#include <FL/Enumerations.H>

// Layout of the main window as it was designed at 96 pixels per inch: positions are left, top
// within the parent, sizes width x height, all in pixels. Captions are UTF-8.
namespace etherm::form1 {

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
inline constexpr int kClientHeight = kOuterHeight - 2 * kFrameWidth - kTitleBarHeight;

// "MS Sans Serif" is drawn with Helvetica, "Times New Roman" with Times, bold where designed.
inline constexpr FontStyle kWindowFont{FL_HELVETICA, 11};
inline constexpr FontStyle kButtonFont{FL_HELVETICA_BOLD, 13};
inline constexpr FontStyle kEditFont{FL_HELVETICA, 16};
inline constexpr FontStyle kLabel1Font{FL_TIMES_BOLD, 16};
inline constexpr FontStyle kLabel2Font{FL_TIMES_BOLD, 24};
inline constexpr FontStyle kLabel3Font{FL_TIMES_BOLD, 19};

inline constexpr Bounds kLabel1{32, 112, 167, 19};
inline constexpr Bounds kButton1{384, 176, 113, 41};
inline constexpr Bounds kButton2{384, 288, 113, 41};
inline constexpr Bounds kTextInput{32, 136, 169, 28};
inline constexpr Bounds kButton3{384, 120, 113, 41};
inline constexpr Bounds kButton4{384, 232, 113, 41};
inline constexpr Bounds kGroupBox1{16, 8, 497, 89};
inline constexpr Bounds kImage1{336, 16, 153, 65};  // within GroupBox1
inline constexpr Bounds kLabel2{16, 16, 316, 26};   // within GroupBox1
inline constexpr Bounds kLabel3{40, 56, 226, 22};   // within GroupBox1
inline constexpr Bounds kGroupBox2{0, 8, 9, 337};
inline constexpr Bounds kGroupBox3{520, 8, 9, 340};
inline constexpr Bounds kGroupBox4{0, 0, 9, 340};  // within GroupBox3
inline constexpr Bounds kGroupBox5{352, 104, 9, 244};

inline constexpr char kLabel1Caption[] = "Nazwa pliku wejściowego";
inline constexpr char kButton1Caption[] = "Start TRAN";
inline constexpr char kButton2Caption[] = "Koniec";
inline constexpr char kButton3Caption[] = "Wprowadź";
inline constexpr char kButton4Caption[] = "Start DC";
inline constexpr char kLabel2Caption[] = "Katedra Elektroniki";
inline constexpr char kLabel3Caption[] = "Pracownia Elektrotermii";

// Status lines: all at x = 30, at these heights.
inline constexpr int kStatusX = 30;
inline constexpr int kEnteredY = 50;
inline constexpr int kBaseNameY = 80;
inline constexpr char kEnteredText[] = "wprowadziłem";

}  // namespace etherm::form1
