// The host backend's side of replay (sim/replay.h): each call below turns one request into its
// trace form, asks the replaying unit, and gives back the recorded answer. nullopt means the
// models answer (no replay, or a loose replay that fell back); a refused request of a strict
// replay is answered as a failure without effect.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/board_library.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/service.h"

namespace tavik::platform::host::replay {

std::optional<bool> deviceOpen(const std::string& device);
std::optional<bool> deviceControl(const std::string& device, uint32_t code, const void* in, uint32_t inSize,
                                  void* out, uint32_t outSize, uint32_t& returned);
std::optional<bool> deviceRead(const std::string& device, void* buffer, uint32_t size, uint32_t& read);
void deviceClose(const std::string& device);

std::optional<ServiceControlResult> service(const std::string& name, uint32_t code);

std::optional<bool> registryOpen(const std::string& key, RegistryAccess access);
std::optional<bool> registryQuery(const std::string& key, const std::string& name, void* data, uint32_t& size,
                                  uint32_t& type);
std::optional<bool> registrySet(const std::string& key, const std::string& name, uint32_t type, const void* data,
                                uint32_t size);
void registryClose(const std::string& key);

// A board-library call: its ordinal, plain arguments, class name and the bytes it gives. The
// answer is the recorded result; the recorded "out" bytes are copied to `out` (at most `size`).
std::optional<uint32_t> board(uint32_t ordinal, const std::vector<uint32_t>& args, const TavikWChar* className,
                              const void* in, uint32_t inSize, void* out = nullptr, uint32_t size = 0);

// Serial ports: a port whose open was replayed is replayed whole (it has no terminal).
std::optional<bool> serialOpen(const std::string& port);
void serialClose(const std::string& port);
bool serialArgs(const std::string& port, const char* kind, const std::vector<uint32_t>& args);
bool serialGet(const std::string& port, SerialSettings& settings);
bool serialSet(const std::string& port, const SerialSettings& settings);
bool serialRead(const std::string& port, void* buffer, uint32_t size, uint32_t& read);
bool serialWrite(const std::string& port, const void* data, uint32_t size, uint32_t& written);

} // namespace tavik::platform::host::replay
