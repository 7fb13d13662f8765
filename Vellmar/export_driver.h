// One export from start to end: the host's options dialog, the document
// copied into a scene, the export passes, and the dotXSI file; and beside
// it one conversion, the same road to another writer.
#pragma once

#include <functional>

#include "Vellmar/host_binding.h"
#include "w_lib/w_scene.h"
#include "w_lib/writers/write_result.h"

// The record that the export hands to the options dialog: zero-filled, with
// its size, the format name "XSI" and the axis words 1, 2 and 4.
ExportDialogRecord MakeExportDialogRecord();

// What a read leaves of the document it copies: the export leaves a host's
// document as it was; a conversion gives the stand-in's own document back
// as it goes, each object's vertices once the scene holds them and its
// faces as they are copied (through host.stand_in, where bound), so that
// the document and the whole scene are never held at once.
enum class DocumentReading { kKeep, kGiveBackAsCopied };

// Copies the host document into an empty scene through the host functions
// of host: materials (textures shared by name), then objects with their
// vertices (converted by the host's axis conversion with record), faces and
// one texture coordinate per face corner. Host material i becomes scene
// material i and host object i scene object i. A face with a vertex index
// outside its object is left out; a face material outside the document's
// materials becomes -1.
void ReadDocumentIntoScene(const HostTable& host, MQDocument doc, ExportDialogRecord& record, WScene& scene,
                           DocumentReading reading = DocumentReading::kKeep);

// Shows the options dialog (its result does not stop the export) and reads
// the document into the empty scene: the first half of the preparations
// below, after which the scene no longer needs the document.
void ReadDocumentWithDialog(const HostTable& host, MQDocument doc, WScene& scene,
                            DocumentReading reading = DocumentReading::kKeep);

// Everything an export does before writing: ReadDocumentWithDialog, then the
// export passes, without the edge list that the dotXSI writer does not read.
void PrepareExportScene(const HostTable& host, MQDocument doc, WScene& scene);

// The same with the library formats' passes instead of the export's: the
// scene for the scene library's writers other than dotXSI.
void PrepareLibraryFormatScene(const HostTable& host, MQDocument doc, WScene& scene);

// Prepares the scene and writes it as the dotXSI file at path. Returns
// whether the file was written, or why it was not.
WriteResult ExportDocument(const HostTable& host, const char* path, MQDocument doc);

// Writes a prepared scene, which it may use up as its working copy.
using SceneWrite = std::function<WriteResult(WScene&& scene)>;

// Converts a document that the stand-in host loaded: reads it with the
// dialog through host, giving each object's parts back as they are copied,
// tells the scene whether its names are UTF-8 and gives the document back to
// the stand-in (through host.stand_in, where bound; a host without those
// functions keeps names in its code page and its documents itself), then
// runs the passes that the writer expects and writes through write. The document is given back on every path, an
// exception included, and never used again by the caller.
WriteResult ConvertDocument(const HostTable& host, MQDocument doc, void (*passes)(WScene& scene),
                            const SceneWrite& write);
