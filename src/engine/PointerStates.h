#pragma once

namespace tarnwell {

// Pointer states of the main window, shared by the run (which shows the busy pointer) and the
// look's mouse-move rule. A header of its own, so that the look needs nothing else of the engine.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerBusy = 11;
inline constexpr int kPointerHand = 99;

} // namespace tarnwell
