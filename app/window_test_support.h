#pragma once

#include <FL/Enumerations.H>
#include <FL/Fl_Window.H>

#include <string>
#include <vector>

namespace etherm {

// Helpers for the window tests: what the screen shows, and what a text should look like.
using Pixels = std::vector<unsigned char>;

// Reads an area of the shown window as RGB, after everything drawn reached the server.
Pixels ReadWindow(Fl_Window& window, int x, int y, int w, int h);

// Width and height of the text's extent in this font.
int TextWidth(const std::string& text, Fl_Font face, int size);
int TextHeight(Fl_Font face, int size);

// The text as drawn at the top-left of a w x h area filled with the background colour, made
// off screen with the window's visual.
Pixels RenderText(Fl_Window& window, const std::string& text, Fl_Font face, int size,
                  Fl_Color background, int w, int h);

}  // namespace etherm
