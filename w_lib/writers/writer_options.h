// What every writer takes besides the scene and the path: the writer
// options of the command line (writer_option_list.inc), and where the
// texture images lie.
#pragma once

#include <string>
#include <vector>

// Where the writers that store texture images (glTF) look for them, and
// where they tell of those they leave out.
struct TextureSource {
  // The folder of the document that the scene was read from ("" for the
  // current folder), in which FindTextureFile looks for relative names.
  std::string document_folder;
  // One line for each texture whose image is left out, naming it and its
  // materials; null: not told.
  std::vector<std::string>* warnings = nullptr;
};

// --names: how the formats that take it (OBJ, .x, the dump) write names;
// the choice's place in "utf8|stored".
enum class NamesOption : unsigned char {
  kFormatDefault = 0,  // the format's own: UTF-8 for OBJ, as stored for .x and the dump
  kUtf8 = 1,           // converted from the document's code page
  kStored = 2,         // as the document stores them
};

// One bit per writer option, named after its field (WriterOption::compress):
// a format's row in the command line's table says by them which options
// its writer reads.
struct WriterOption {
  enum Place : unsigned {
#define WRITER_FLAG(field, ...) field##_place,
#define WRITER_CHOICE(field, ...) field##_place,
#include "w_lib/writers/writer_option_list.inc"
#undef WRITER_FLAG
#undef WRITER_CHOICE
    kCount
  };
  enum Bit : unsigned {
#define WRITER_FLAG(field, ...) field = 1u << field##_place,
#define WRITER_CHOICE(field, ...) field = 1u << field##_place,
#include "w_lib/writers/writer_option_list.inc"
#undef WRITER_FLAG
#undef WRITER_CHOICE
  };
};

// The options of one write. A writer reads those that its format takes and
// leaves the others alone; the defaults write what the writer writes
// without options.
struct WriterOptions {
#define WRITER_FLAG(field, ...) bool field = false;
#define WRITER_CHOICE(field, type, ...) type field{};
#include "w_lib/writers/writer_option_list.inc"
#undef WRITER_FLAG
#undef WRITER_CHOICE

  // Where the texture images are found, and where their warnings go.
  TextureSource textures;
};
