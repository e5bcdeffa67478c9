#pragma once

namespace etherm {

// Drops the keyboard and mouse input that reached the display while the event loop was not
// running (during an analysis), so that none of it is carried out afterwards. Other events,
// such as repaints, stay queued.
void DiscardPendingInput();

}  // namespace etherm
