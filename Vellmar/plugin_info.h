// What the plug-in tells the host about itself.
#pragma once

#include <cstdint>

constexpr uint32_t kPluginInterfaceVersion = 0x231;
constexpr int32_t kPluginTypeExport = 2;
constexpr uint32_t kPluginProductId = 0x5A7E1240;
constexpr uint32_t kPluginId = 0x6C2F93B1;
constexpr const char kPluginName[] = "Vellmar v1.00   Copyright (C) 2026 The Vellmar developers";
constexpr const char kXsiFileType[] = "XSI (*.xsi)";
constexpr const char kXsiFileExtension[] = "xsi";
