#pragma once

#include <cstdint>

// The USB identity of the wanted HID interface. The usage page and usage
// single out the one top-level collection that speaks the link protocol
// among all interfaces with the same vendor and product ID.
struct DeviceMatch {
  uint16_t vendor_id;
  uint16_t product_id;
  uint16_t usage_page;
  uint16_t usage;
};
