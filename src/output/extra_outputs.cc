#include "output/extra_outputs.h"

#include "base/report.h"
#include "output/nodal_table.h"
#include "output/thickness_view.h"

namespace verdask {

namespace {

int writeView(FILE* file, const std::string& name, const RunProducts& run) {
  if (!writeThicknessView(file, viewFormatOf(name), *run.mesh, *run.elements, run.thickness,
                          *run.record)) {
    return 0;
  }
  report("Failure writing the VTK file\n");
  return -1;
}

int writeNodal(FILE* file, const std::string&, const RunProducts& run) {
  if (!writeNodalThickness(file, run.thickness, run.mesh->count(), *run.elements)) return 0;
  report("Failure writing the nodal thickness table\n");
  return -1;
}

// What a complete deck says when written, or why not.
int deckWritten(const Status& status, const char* dialect, const std::string& name,
                const RunProducts& run) {
  if (status) {
    report("%sFailure writing the %s deck\n", status.message.c_str(), dialect);
    return -1;
  }
  report("Wrote the %s deck %s: %d elements, %d of them turned to face outwards\n", dialect,
         name.c_str(), run.outward->count(), run.turned);
  return 0;
}

int writeAbaqus(FILE* file, const std::string& name, const RunProducts& run) {
  Status status = writeAbaqusDeck(file, *run.mesh, *run.outward, run.thickness, *run.names);
  return deckWritten(status, "Abaqus", name, run);
}

int writeDyna(FILE* file, const std::string& name, const RunProducts& run) {
  Status status =
      writeDynaDeck(file, *run.mesh, *run.outward, run.thickness, *run.names, run.threads);
  return deckWritten(status, "LS-DYNA", name, run);
}

}  // namespace

const ExtraOutput kExtraOutputs[kExtraOutputCount] = {
    {"-vtk",
     "  -vtk <outfile (.vtk|.vtu|.vtp)> = mesh with thickness, angle, cortical vertex, distance to "
     "the cortical surface and quality for ParaView, VTK or meshio; .vtu and .vtp write VTK XML\n",
     false, true, writeView},
    {"-nodal",
     "  -nodal <outfile (.inp)>   = Abaqus *NODAL THICKNESS table, one 'node, thickness' line per "
     "vertex\n",
     false, false, writeNodal},
    {"-inp",
     "  -inp <outfile (.inp)>     = complete Abaqus/CalculiX deck of the shell layer, elements "
     "facing outwards, a set and a section for each part of the mesh\n",
     true, false, writeAbaqus},
    {"-deck",
     "  -deck <outfile (.k)>      = complete LS-DYNA deck of the shell layer, elements facing "
     "outwards, a part and a section for each part of the mesh\n",
     true, false, writeDyna},
};

}  // namespace verdask
