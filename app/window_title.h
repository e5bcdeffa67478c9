#pragma once

#include <FL/Fl_Window.H>

namespace etherm {

// Sets the shown window's old-style title and icon title (WM_NAME, WM_ICON_NAME) to its caption
// in an encoding those properties declare correctly: Latin-1 text where the caption allows,
// compound text otherwise. The toolkit stores the caption's UTF-8 bytes there marked as Latin-1,
// which window managers that read only these properties show garbled.
void SetLegacyTitle(Fl_Window& window);

}  // namespace etherm
