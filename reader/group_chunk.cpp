// Group chunks: read and logged; the group's members follow as chunks of
// their own and nothing of the group reaches the scene.
#include "chunk_handlers.h"
#include "reader_state.h"

void parse_group_chunk(MScene* /*scene*/, const ChunkHeader& /*chunk*/) {
    reader_state.log->write(2, "-> Start parsing Group Object\n");
    ObjectAxes axes;
    read_object_axes(axes);
}
