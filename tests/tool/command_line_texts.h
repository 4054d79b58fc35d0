#pragma once

// What the command prints for a command line it refuses, character for
// character, as every test of the command line expects it.
inline constexpr const char* kUsageText =
    "kavlo-usb - Uploads binary images to Tarvex Bootloader.\n"
    "Usage: kavlo-usb.exe <options> file1.bin [file2.bin]\n"
    "Options: -debug    Print debug output to console until escape pressed.\n";
inline constexpr const char* kTooManyFilesText = "Too many files specified, maximum is 2.\n";
