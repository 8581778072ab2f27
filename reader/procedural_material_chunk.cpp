// Procedural material chunks: a surface with the head's colour and alpha;
// the procedural parameters after the head are skipped.
#include "chunk_handlers.h"
#include "reader_state.h"

void parse_procedural_material_chunk(MScene* scene, const ChunkHeader& chunk, MList* surfaces) {
    reader_state.log->write(2, "-> Start parsing Procedural Materials\n");
    read_material_head(scene, chunk, surfaces);
}
