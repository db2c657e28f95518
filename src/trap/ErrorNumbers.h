#pragma once

namespace tarnwell {

// Every number an AppError carries, in one table (an AppError without one carries 0). Most are
// the numbers the classic Windows runtime gives the same failure; 1001 is the program's own.
inline constexpr int kErrInvalidArgument = 5;        // invalid procedure call or argument: no desktop folder is known
inline constexpr int kErrOverflow = 6;               // a stored number lies past the range of its type
inline constexpr int kErrOutOfMemory = 7;            // memory ran out in a trapped statement
inline constexpr int kErrTypeMismatch = 13;          // a stored text is no number (nor a truth value, where one fits)
inline constexpr int kErrFileNotFound = 53;          // the cursor file cannot be opened
inline constexpr int kErrPermissionDenied = 70;      // a folder may not be listed; the folder walk leaves it out
inline constexpr int kErrPathFileAccess = 75;        // a folder cannot be listed for any other reason
inline constexpr int kErrPathNotFound = 76;          // a folder to list does not exist, or is no folder
inline constexpr int kErrInvalidPropertyValue = 380; // a stored list position the combo box does not have
inline constexpr int kErrInvalidPicture = 481;       // the cursor file is no cursor image
inline constexpr int kErrNoAppendRecord = 1001;      // no record of in-place appends can be kept; a run says so once
inline constexpr int kErrFileDialogBufferTooSmall = 20476; // the file dialog's chosen names did not fit its buffer

} // namespace tarnwell
