// Updater's resource identifiers (shared by the resource script and the code).
#pragma once

#define IDI_UPDATER 1
#define IDB_BACKGROUND 101
#define IDB_PROGRESS_BAR 102
