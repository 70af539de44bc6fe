// The backend of this build (host/ or win32/): the calls of the device, board library, service,
// registry and serial interfaces, with the same contracts, in namespace `os`. The public names
// (platform/device.h, ...) are the recorder's (platform/record/), which forwards every call here
// and writes it to the trace when TAVIK_RECORD asks for one. Nothing else calls these.
#pragma once

#include "platform/board_library.h"
#include "platform/device.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/service.h"

namespace tavik::platform::os {

DeviceHandle openDevice(const std::string& name);
bool deviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize, uint32_t& returned);
bool deviceRead(DeviceHandle device, void* buffer, uint32_t size, uint32_t& read);
void closeDevice(DeviceHandle device);

ServiceControlResult controlService(const std::string& serviceName, uint32_t code);

RegistryKey openMachineKey(const std::string& path, RegistryAccess access);
bool queryRegistryValue(RegistryKey key, const std::string& name, void* data, uint32_t& size,
                        uint32_t& type);
bool setRegistryValue(RegistryKey key, const std::string& name, uint32_t type, const void* data,
                      uint32_t size);
void closeRegistryKey(RegistryKey key);

SerialHandle openSerialPort(const std::string& name);
void closeSerialPort(SerialHandle port);
bool setSerialBuffers(SerialHandle port, uint32_t inBytes, uint32_t outBytes);
bool setSerialTimeouts(SerialHandle port, const SerialTimeouts& timeouts);
bool setSerialEventMask(SerialHandle port, uint32_t mask);
bool getSerialSettings(SerialHandle port, SerialSettings& settings);
bool setSerialSettings(SerialHandle port, const SerialSettings& settings);
bool purgeSerial(SerialHandle port, uint32_t flags);
bool readSerial(SerialHandle port, void* buffer, uint32_t size, uint32_t& read);
bool writeSerial(SerialHandle port, const void* data, uint32_t size, uint32_t& written);

} // namespace tavik::platform::os

namespace tavik::platform::board::os {

bool libraryInit();
bool libraryInitRetry(uint32_t mode);
uint32_t boardCount(const TavikWChar* className, uint32_t flags);
bool boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, BoardHandle* handle);
uint32_t boardSelect(BoardHandle handle);
void libraryClose();
bool i2cWriteRead(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* write,
                  uint32_t writeLength, uint8_t* read, uint32_t readLength);
bool i2cWrite(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length);
bool i2cReadRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value);
bool i2cWriteRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value);
uint32_t temperatureSensorCount(BoardHandle handle);
uint32_t temperatureRead(BoardHandle handle, uint32_t index, int32_t* value, uint32_t* status);
uint32_t temperatureInfo(BoardHandle handle, uint32_t index, uint32_t info[11]);

} // namespace tavik::platform::board::os
