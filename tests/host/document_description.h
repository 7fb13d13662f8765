// A stand-in document described as one string, every field that reading a
// document's text sets on its own line, so that two readings compare whole.
#pragma once

#include <sstream>
#include <string>

#include "host/host_document.h"

// Every field that reading sets, one line each.
inline std::string DescribeDocument(const MQDocumentRecord& doc) {
  std::ostringstream out;
  out.precision(9);
  out << "version " << doc.format_version << " code page " << doc.code_page << " utf8 " << doc.utf8_names << '\n';
  for (const auto& m : doc.materials) {
    out << "material " << m->name << ' ' << m->color.r << ' ' << m->color.g << ' ' << m->color.b << ' ' << m->alpha
        << ' ' << m->diffuse << ' ' << m->ambient << ' ' << m->emission << ' ' << m->specular << ' ' << m->power
        << ' ' << m->shader << ' ' << m->vertex_color << " [" << m->texture << "][" << m->alpha_texture << "]["
        << m->bump_texture << "]\n";
  }
  for (const auto& o : doc.objects) {
    out << "object " << o->name << ' ' << o->visible << ' ' << o->patch_type << ' ' << o->patch_segment << ' '
        << o->shading << ' ' << o->smooth_angle << ' ' << o->mirror_type << ' ' << o->mirror_axis << ' '
        << o->mirror_distance << ' ' << o->lathe_type << ' ' << o->lathe_axis << ' ' << o->lathe_segment << '\n';
    for (size_t v = 0; v < o->vertices.size(); ++v)
      out << " v " << o->vertices[v].x << ' ' << o->vertices[v].y << ' ' << o->vertices[v].z << ' '
          << o->vertex_colors[v] << ' ' << o->vertex_weights[v] << '\n';
    for (int32_t f = 0; f < o->FaceCount(); ++f) {
      out << " f " << o->face_material[static_cast<size_t>(f)];
      for (int32_t c = o->face_start[static_cast<size_t>(f)]; c < o->face_start[static_cast<size_t>(f) + 1]; ++c) {
        const size_t k = static_cast<size_t>(c);
        out << " (" << o->corner_vertex[k] << ' ' << o->CornerUv(k).u << ' ' << o->CornerUv(k).v << ' '
            << o->corner_color[k] << ')';
      }
      out << '\n';
    }
  }
  return out.str();
}
