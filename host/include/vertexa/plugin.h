// The interfaces between the Vertexa host and its plug-in modules.
//
// A plug-in module exports four C functions (names undecorated):
//   const char* LibName();                     a text naming the module
//   int LibNumberClasses();                    how many classes it offers
//   ClassDesc* LibClassDescription(int i);     class i, or null
//   unsigned long LibVersion();                kPluginApiVersion it was built for
// The host loads a module, checks LibVersion, walks the class descriptors and
// creates objects through Create. An importer (SuperClassId
// kSceneImportClassId) is driven through SceneImport and ended with its
// DeleteThis; everything it hands over (scenes, texts) is allocated with the
// host allocator and freed by the host with my_free or delete.
#pragma once

#include <cstdint>

class MScene;

// The version of this interface; modules built for another one are refused.
constexpr unsigned long kPluginApiVersion = 0x808;

// The super class of importers of scene files.
constexpr unsigned long kSceneImportClassId = 0x2000;

// What the host knows of a class a plug-in offers. No data, five operations.
class ClassDesc {
public:
    virtual int Available() = 0;
    virtual void* Create() = 0;
    virtual const char* ClassName() = 0;
    virtual unsigned long SuperClassId() = 0;
    virtual unsigned long ClassId() = 0;

protected:
    ~ClassDesc() = default;
};

// An importer of scene files: ten operations, in this order.
class SceneImport {
public:
    virtual void DeleteThis() = 0;
    virtual void ShowHelp() = 0;
    virtual void Configure() = 0;
    virtual MScene* Import(char* file_name) = 0;
    virtual MScene* ImportInteractive() = 0;
    virtual int Query() = 0;
    virtual char* GetFilter() = 0;
    virtual void SetShowProgress(int flag) = 0;
    virtual int SaveOptions(char* path) = 0;
    virtual int LoadOptions(char* path) = 0;

protected:
    ~SceneImport() = default;
};

// An importer carries one 32-bit value of the host's right after the
// interface: the host stores it after Create and the importer hands it to its
// options on every import. The host reaches it through this helper, so that
// the layout is stated once.
struct SceneImportWithHostData : SceneImport {
    uint32_t host_data;

protected:
    ~SceneImportWithHostData() = default;
};

extern "C" {
typedef const char* (*LibNameFunc)();
typedef int (*LibNumberClassesFunc)();
typedef ClassDesc* (*LibClassDescriptionFunc)(int index);
typedef unsigned long (*LibVersionFunc)();
}
