#pragma once

// What the child program and the tests that start it agree on.
namespace tarnwell::reliability {

// The job the child runs: mode "does", this condition (case is ignored), this append text.
inline constexpr char kConditionText[] = "mark";
inline constexpr char kAppendText[] = "appended by the reliability test";

} // namespace tarnwell::reliability
