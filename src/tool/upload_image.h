#pragma once

#include <cstdint>

class InterfaceClient;

// Loads the image file at `path` and sends it as one image record of the
// given kind. Prints the progress line and every failure. True when the
// interface accepted the block; a file that cannot be loaded is refused
// before anything is sent.
bool UploadImage(InterfaceClient& client, const char* path, uint8_t kind);
