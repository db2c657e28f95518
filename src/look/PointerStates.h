#pragma once

namespace tarnwell {

// Pointer states of the main window: the ordinary pointer, the busy one that long work shows, and
// the hand over the command buttons. The window sets them; the look's mouse-move rule asks for them.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerBusy = 11;
inline constexpr int kPointerHand = 99;

} // namespace tarnwell
