#include "fake_hidapi.h"

#include <hidapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

struct hid_device_ {
  std::string path;
};

namespace {

FakeHidapi fake;

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

}  // namespace

FakeHidapi& Fake() { return fake; }
void ResetFake() { fake = FakeHidapi{}; }

extern "C" {

int hid_init(void) {
  fake.calls.push_back("hid_init");
  return 0;
}

int hid_exit(void) {
  fake.calls.push_back("hid_exit");
  return 0;
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  fake.calls.push_back("hid_enumerate " + Hex(vendor_id) + " " + Hex(product_id));
  hid_device_info* first = nullptr;
  hid_device_info** link = &first;
  for (const FakeNode& node : fake.nodes) {
    auto* info = new hid_device_info{};
    info->path = new char[node.path.size() + 1];
    std::strcpy(info->path, node.path.c_str());
    info->vendor_id = node.vendorId;
    info->product_id = node.productId;
    info->usage_page = node.usagePage;
    info->usage = node.usage;
    *link = info;
    link = &info->next;
  }
  if (first != nullptr) fake.liveLists += 1;
  return first;
}

void hid_free_enumeration(hid_device_info* list) {
  fake.calls.push_back("hid_free_enumeration");
  if (list != nullptr) fake.liveLists -= 1;
  while (list != nullptr) {
    hid_device_info* next = list->next;
    delete[] list->path;
    delete list;
    list = next;
  }
}

hid_device* hid_open_path(const char* path) {
  fake.calls.push_back(std::string("hid_open_path ") + path);
  const auto node = std::find_if(fake.nodes.begin(), fake.nodes.end(),
                                 [path](const FakeNode& n) { return n.path == path; });
  if (node == fake.nodes.end() || !node->openable) return nullptr;
  fake.openDevices += 1;
  return new hid_device_{path};
}

int hid_write(hid_device* device, const unsigned char* data, size_t length) {
  fake.calls.push_back("hid_write " + device->path);
  fake.writes.emplace_back(data, data + length);
  return fake.writeResult == FakeHidapi::kWriteAll ? static_cast<int>(length) : fake.writeResult;
}

int hid_read_timeout(hid_device* device, unsigned char* data, size_t length, int milliseconds) {
  fake.calls.push_back("hid_read_timeout " + device->path);
  fake.readLengths.push_back(static_cast<int>(length));
  fake.readLimits.push_back(milliseconds);
  if (fake.reads.empty()) return 0;
  const FakeRead read = fake.reads.front();
  fake.reads.pop_front();
  std::copy(read.bytes.begin(), read.bytes.end(), data);
  return read.result;
}

void hid_close(hid_device* device) {
  fake.calls.push_back("hid_close " + device->path);
  fake.openDevices -= 1;
  delete device;
}

}  // extern "C"
