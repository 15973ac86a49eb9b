#pragma once
// Fixed texts that the job shows in rows, the status text and message boxes, where more
// than one step uses them.

namespace fw::text {

inline constexpr const char* kConnecting = "Connecting the radio...";
inline constexpr const char* kUsualStatus =
    "Make the radio into download mode, click \"Upgrade\" button to start ...";
inline constexpr const char* kClickUpgrade = "Click \"Upgrade\" button to start ...";
inline constexpr const char* kCommError = "Communication error, Please retry!";
inline constexpr const char* kSoftwareFailed = "Update the radio software failed!";
inline constexpr const char* kSoftwareCompleted = "Update the radio software completed!";
inline constexpr const char* kRestarting = "The radio is restarting, about 20 seconds...";
inline constexpr const char* kWritingRadio = "Writing the radio, please wait...";
inline constexpr const char* kWritingFont = "Writing font library. Please wait ...";
inline constexpr const char* kStoppedByUser = "Stopped by the user.";

}  // namespace fw::text
