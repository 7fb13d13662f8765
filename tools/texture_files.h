// Where a document's texture files are looked for: beside the document, by
// the path it names or by that path's bare file name.
#pragma once

#include <string>

// The folder of a document's path, with its separator ("" for a bare name;
// '\' counts as a separator).
std::string DocumentFolder(const std::string& path);

// Whether a regular file of the texture name is there: the name as it is
// when absolute, else relative to folder, or else its bare file name in
// folder. By the system's own narrow-character calls, so that a name in the
// document's code page is looked for as the host would look for it.
bool TextureFileExists(const std::string& folder, const std::string& name);
