#include "output/nodal_table.h"

#include "base/text_writer.h"

namespace verdask {

Status writeNodalThickness(FILE* table, const float* thickness, int vertexCount,
                           const ShellElements& numbering) {
  TextWriter out(table);
  out.put("*NODAL THICKNESS\n");
  for (int i = 0; i < vertexCount; ++i) {
    out.putInt(numbering.nodeNumber(i + 1));
    out.put(", ", 2);
    out.putShortest(thickness[i]);
    out.put('\n');
  }
  return out.finished();
}

}  // namespace verdask
