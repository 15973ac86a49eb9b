#pragma once
// The texts both windows show (UTF-8), kept in one place so that the Qt window and the Win32
// window say the same.

namespace fw {

inline constexpr const char* kWindowCaption = "Radio Flashwright";
inline constexpr const char* kUsualStatusText =
    "Make the radio into download mode, click \"Upgrade\" button to start ...";
inline constexpr const char* kChipOnlyStatusText = "Click \"Upgrade\" button to start ...";
inline constexpr const char* kWarningLineText = "[ Warning: Do not disconnect when upgrading! ]";
inline constexpr const char* kExitQuestionText = "Are you sure to exit?";
inline constexpr const char* kImageTooLargeText = "Open the file cache is too small!";
inline constexpr const char* kCommErrorText = "Communication error, Please retry!";
inline constexpr const char* kAboutItemText = "关于 Radio Flashwright(&A)...";
inline constexpr const char* kAboutCaptionText = "关于 Radio Flashwright";
inline constexpr const char* kAboutDefaultCompanyLine = "Radio Flashwright, radio upgrade tool";
inline constexpr const char* kAboutOkText = "确定";
inline constexpr const char* kJournalProblemText = "The job journal cannot be used.";
inline constexpr const char* kNoBackupConsequenceText =
    "Radios are not written without a backup: a job stops before it writes a radio "
    "(\"Backup=0\" in the settings file, or --no-backup, writes them all the same).";
inline constexpr const char* kNoRecordConsequenceText =
    "Backups are off (\"Backup=0\" or --no-backup): jobs run, but no record is kept.";
// The period of the auto-start timer of run mode 5 (the first job of the window).
inline constexpr unsigned kAutoStartPeriodMs = 10000;

}  // namespace fw
