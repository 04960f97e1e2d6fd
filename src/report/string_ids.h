// Ids of the string table (resources/strings.inc holds the texts).
#pragma once

constexpr int IDS_INVALID_DIRECTIVES = 452;
constexpr int IDS_CREATE_DIR_FAILED = 454;
constexpr int IDS_DDE_DISCONNECTED = 461;
constexpr int IDS_DDE_CRITICAL = 462;
constexpr int IDS_WARNING = 480;
constexpr int IDS_EXTRACT_DONE = 490;
constexpr int IDS_EXTRACT_WARNINGS = 491;
constexpr int IDS_TEST_OK = 492;
constexpr int IDS_TEST_WARNINGS = 493;
constexpr int IDS_OVERWRITE_EXISTING = 501;
constexpr int IDS_OVERWRITE_NEW = 502;
constexpr int IDS_CREATE_DIR_ASK = 503;
constexpr int IDS_CONFIRM_EXIT = 504;
constexpr int IDS_ASK_GROUPS = 506;
constexpr int IDS_ASK_EXTENSIONS = 507;
constexpr int IDS_ASK_RUN = 508;
constexpr int IDS_RUN_NOT_FOUND = 509;
constexpr int IDS_RUN_FAILED = 510;
constexpr int IDS_EXTRACTED = 511;
constexpr int IDS_SKIPPING = 512;
constexpr int IDS_TESTING = 514;
constexpr int IDS_TESTED = 515;
// Ours: the password question asked again after the password typed at it did not open the file.
constexpr int IDS_WRONG_PASSWORD = 517;
constexpr int IDS_AUTHENTIC_MARK = 530;
constexpr int IDS_AUTHENTIC_WITH_TEXT = 531;
constexpr int IDS_AUTHENTIC = 532;
constexpr int IDS_INSERT_DISK = 550;
constexpr int IDS_INSERT_LAST_DISK = 551;
constexpr int IDS_GROUP_ERROR = 350;
constexpr int IDS_EXTENSION_ERROR = 390;
constexpr int IDS_FILE_TYPE = 570;
constexpr int IDS_FILE_TYPE_NAME = 571;
// The publisher's title for the dialog and its message boxes: not in the program's own table; the
// builder writes it into an archive's program when asked (--title), and the stub uses it in
// place of its template caption and the archive's path.
constexpr int IDS_TITLE = 600;
// Runs started with switches and from a temporary folder.
constexpr int IDS_RUN_STARTED = 610;
constexpr int IDS_SWITCHES_USAGE = 611;
constexpr int IDS_UNKNOWN_SWITCH = 612;
constexpr int IDS_NOT_REMOVED = 613;
constexpr int IDS_PROGRAM_ENDED = 614;
constexpr int IDS_NO_PASSWORD = 615;
