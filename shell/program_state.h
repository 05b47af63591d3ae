// Program-wide state set once by start-up and kept until the process ends,
// plus the names and sizes every subsystem agrees on.
#ifndef SLIVERDISK_PROGRAM_STATE_H
#define SLIVERDISK_PROGRAM_STATE_H

#include <windows.h>
#include <cstdint>

constexpr char kProductName[] = "Sliverdisk Utility";
constexpr char kMainClassName[] = "SLIVERDISKMAIN";
constexpr char kPopupClassName[] = "SLIVERDISKMSG";

// Largest amount one read or one write of a job moves; the buffer has spare bytes behind it.
constexpr uint32_t kTransferBlockSize = 131072;
constexpr uint32_t kTransferBufferSize = kTransferBlockSize + 256;

struct ProgramState {
    HINSTANCE instance = nullptr;
    HWND main_window = nullptr;
    HMENU main_menu = nullptr;
    int screen_width = 0;
    int screen_height = 0;
    uint8_t* transfer_buffer = nullptr;
};

// Written by start-up on the main thread before the copy worker exists; read-only afterwards.
extern ProgramState g_program;

#endif
