// Which names an output may have: no run writes a format into a file whose
// extension names another one, so that a slip of the command line (the
// shell's "export *.mqo" handing over a second document as the output)
// cannot write over a document, a texture or another format's file.
#pragma once

#include <string>

struct CommandLine;
struct OutputFormat;

// True when the single output of the run may take the format it gets:
// export writes only to a name that ends in .xsi (in any case); convert
// refuses an extension that names another format than the one written
// (one that convert writes, a file beside one, the host's archives, images
// and other model formats). Standard output ("-", or a path that leads to
// it) and what is written in place (a device, a FIFO) take any format;
// --out-dir names its outputs itself. Otherwise false with error set to one
// line.
bool OutputNameFitsFormat(const CommandLine& line, std::string& error);

// For a name whose extension belongs to a kind of file that convert does
// not write (a model format such as .fbx, the host's archive .mqoz, an
// image, a file written beside another format's): one line that says so
// and names the formats it writes. Empty for any other name.
std::string NotWrittenLine(const std::string& path);

// True when file, an output of the run (companion: the file beside it, such
// as OBJ's .mtl), may be replaced or made, judged by the file that its path
// leads to: a link may not lead to a file whose name says another format or
// kind of file than the one written, and export replaces only a file that
// holds dotXSI already (by its first bytes) or nothing at all. Otherwise
// false with error set to one line.
bool OutputFileFitsFormat(const CommandLine& line, const OutputFormat& format, const std::string& file,
                          bool companion, std::string& error);
