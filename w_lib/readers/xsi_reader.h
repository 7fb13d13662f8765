// Reading dotXSI text (versions 3.0 to 3.6) into a scene.
//
// What is read: the models with their hierarchy and transforms (SI_Transform:
// scaling, rotation in the file's SI_Angle unit, translation); per model its
// mesh (SI_Shape, ORDERED or INDEXED: positions, normals, colours and the
// first set of texture coordinates; SI_PolygonList, SI_TriangleList and
// SI_TriangleStripList with their per-corner indices); the materials
// (SI_Material with its SI_Texture2D, XSI_Material with the diffuse colour
// of its surface shader and the image of an XSI_ImageLibrary that its
// diffuse input shows), and the frame of SI_CoordinateSystem. Everything else
// is passed over by its braces; envelopes, animation curves, cameras and
// lights are counted.
//
// The scene is in the scene library's convention, which is that of dotXSI:
// right-handed, y up, faces counter-clockwise seen from outside; a file in
// another frame is brought into it. Lengths stay in the file's unit.
// Corners carry the normal, colour and texture-coordinate records of the
// file as they are; a corner whose list the file lacks names none (-1).
// Texture coordinates are stored with v running down from the top, as in
// the rest of the scene library. Texture names are the image file names as
// the file gives them. Model names lose the prefix "MDL-" and material
// names the prefix "MAT-" that dotXSI writers put before them; names are
// taken as UTF-8 when they all read as UTF-8 and some go beyond ASCII, and
// otherwise as the Shift-JIS of the export's own files (scene.utf8_names).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "w_lib/w_scene.h"

// What a file held besides the scene.
struct XsiReadReport {
  std::string version;  // "3.0", "3.5", "3.6", from the header
  // Left out of the scene:
  int envelopes = 0;         // SI_Envelope: the skin weights of one model by one deformer
  int animation_curves = 0;  // SI_FCurve
  int cameras = 0;           // SI_Camera
  int lights = 0;            // SI_Light
  int more_uv_sets = 0;      // texture-coordinate lists of a shape past its first
};

// Whether the bytes (the first of a file, or all) start like dotXSI text:
// "xsi " and a version.
bool LooksLikeXsiText(const char* data, size_t size);

// Reads the dotXSI text in memory (size bytes; name stands for the file in
// messages). On success scene is replaced by what was read; on failure scene
// is left as it was and error holds one line: "NAME:LINE: what was expected"
// for malformed text, or "NAME: message". No count that the text gives is
// trusted for more memory than the rest of the text can fill. Every index
// that a face holds names a record of its object.
[[nodiscard]] bool ReadXsiBytes(const char* data, size_t size, const char* name, WScene& scene,
                                XsiReadReport& report, std::string& error);

// The same from the file at path, read in pieces of fixed size. A file that
// is not a regular file (a pipe, a device) is refused beyond
// max_document_size bytes; an error names path, with the system's reason
// when the file cannot be read.
[[nodiscard]] bool ReadXsiFile(const char* path, WScene& scene, XsiReadReport& report, std::string& error,
                               uint64_t max_document_size);
