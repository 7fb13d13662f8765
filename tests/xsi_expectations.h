// Expected dotXSI files, written by hand from the format, and helpers to
// compare files whose time stamp differs from run to run.
#pragma once

#include <string>

// The file with its time-stamp line (the sixth) replaced by "TIME".
std::string MaskTimeStamp(const std::string& xsi);
// True when the sixth line is a quoted time stamp such as
// "Tue Dec 08 09:33:07 2026".
bool HasTimeStampLine(const std::string& xsi);

// A textured triangle: host material "m" of colour (1, 0.5, 0.25) with
// texture C:\tex\wood.bmp, object "tri" with the host vertices (0,0,0),
// (100,0,0), (0,100,0) and one face (0,1,2) with the uvs (0,0), (1,0), (0,1).
extern const char kTexturedTriangleXsi[];
