#include "cob_class_desc.h"

#include <type_traits>

#include "cob_importer.h"

namespace {

// The descriptor has no data and nothing to release: nothing runs for it at
// unload.
static_assert(std::is_trivially_destructible_v<CobClassDesc>);
CobClassDesc the_descriptor;

}  // namespace

CobClassDesc* cob_class_desc() { return &the_descriptor; }

int CobClassDesc::Available() { return 1; }

void* CobClassDesc::Create() {
    // CobImporter's operator new takes the memory from the host allocator
    // and yields null when it has none; the host owns the object from here
    // and ends it with DeleteThis.
    return static_cast<SceneImportWithHostData*>(new CobImporter);
}

const char* CobClassDesc::ClassName() { return "Truespace (*.scn, *.cob)"; }

unsigned long CobClassDesc::SuperClassId() { return kSceneImportClassId; }

unsigned long CobClassDesc::ClassId() { return 0x6C8C1587; }
