// The one class the module offers: the trueSpace scene importer.
#pragma once

#include "vertexa/plugin.h"

class CobClassDesc : public ClassDesc {
public:
    int Available() override;
    void* Create() override;
    const char* ClassName() override;
    unsigned long SuperClassId() override;
    unsigned long ClassId() override;
};

// The module's one descriptor; built during the module's static
// initialisation, before the host can call an export, and never destroyed.
CobClassDesc* cob_class_desc();
