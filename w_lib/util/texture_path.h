// Where the file of a texture that a document names lies.
#pragma once

#include <string>

// The path of the regular file that a document's texture name stands for,
// or "" when there is none. name is in the document's code page (UTF-8
// when utf8_names, else Shift-JIS, whose second bytes are never taken for
// separators); both '\' and '/' separate folders. document_folder is the
// folder of the document ("" for the current folder). Tried in order:
//   1. an absolute name as it is ("/maps/a.png"; on Windows also
//      "C:\maps\a.png" and "\\server\maps\a.png");
//   2. a relative name in the document's folder ("maps\a.png" there);
//   3. the name's last component alone in the document's folder (a path of
//      the machine the document was made on, "C:\Users\me\a.png").
// Outside Windows, whose file names are bytes of the system's code page, a
// Shift-JIS name is tried in UTF-8 as well, right after its own bytes.
std::string FindTextureFile(const char* name, bool utf8_names, const std::string& document_folder);
