// Documents as the host shows them: an object's lathe, mirror and
// subdivision surface turned into plain vertices and faces, and hidden
// objects left out, before a plug-in reads the document.
#pragma once

#include <string>
#include <vector>

#include "host/host_api.h"
#include "host/host_document.h"
#include "host/object_freezes.h"

// Lathe, then mirror, then subdivision, so that a subdivision smooths the
// mirror's seam as the host shows it.
bool FreezeObject(MQObjectRecord& obj, std::string& error, std::vector<std::string>* warnings = nullptr);

// Freezes every object of the document (but hidden ones with skip_hidden),
// all or nothing: on failure the document is left as it was.
bool FreezeDocument(MQDocumentRecord& doc, bool skip_hidden, std::string& error,
                    std::vector<std::string>* warnings = nullptr);

// Removes the objects whose visible is 0.
void DropHiddenObjects(MQDocumentRecord& doc);

// Counts the objects that the host shows otherwise than stored.
VHostShownOtherwise CountShownOtherwise(const MQDocumentRecord& doc);
