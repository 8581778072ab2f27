// The import driver: one file name into a filled host scene.
#pragma once

class MScene;
class CobImportOptions;
struct MessageCallBack1;

// Reads the file the options name into the scene. Reports only through the
// log and the callback record; the scene always gets its "DEFAULT" surface,
// bounding box, default camera and light once the file could be opened.
void import_file(MScene* scene, CobImportOptions* options, MessageCallBack1* callbacks);
// The walk over the file's chunks after the 32-byte header.
void parse_file(MScene* scene, CobImportOptions* options);
