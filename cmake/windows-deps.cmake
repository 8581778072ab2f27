# Third-party code for the Windows build. The libraries we use are header-only
# or small single-file ones; Debian installs them for Linux under /usr/include,
# which must not be on a Windows compiler's include path (its C library
# headers would shadow MinGW's). So their headers are linked into a folder of
# the build and the targets the project links are made here; GoogleTest is
# built from Debian's sources with the cross compiler.
set(VERTEXA_THIRD_PARTY_INCLUDE ${PROJECT_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${VERTEXA_THIRD_PARTY_INCLUDE})
foreach(entry nlohmann CLI stb tiny_gltf.h tiny_obj_loader.h)
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "The Windows build needs /usr/include/${entry} (Debian's header package)")
  endif()
  file(CREATE_LINK /usr/include/${entry} ${VERTEXA_THIRD_PARTY_INCLUDE}/${entry} SYMBOLIC)
endforeach()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${VERTEXA_THIRD_PARTY_INCLUDE})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${VERTEXA_THIRD_PARTY_INCLUDE})

# stb, tinygltf and tinyobjloader keep their code behind a macro: one
# translation unit each compiles it.
add_library(vertexa_stb STATIC ${CMAKE_CURRENT_LIST_DIR}/windows/stb.cpp)
target_include_directories(vertexa_stb SYSTEM PUBLIC ${VERTEXA_THIRD_PARTY_INCLUDE} ${VERTEXA_THIRD_PARTY_INCLUDE}/stb)
add_library(PkgConfig::STB ALIAS vertexa_stb)

if(VERTEXA_BUILD_TESTS)
  add_library(vertexa_tinygltf STATIC ${CMAKE_CURRENT_LIST_DIR}/windows/tinygltf.cpp)
  target_include_directories(vertexa_tinygltf SYSTEM PUBLIC ${VERTEXA_THIRD_PARTY_INCLUDE})
  target_link_libraries(vertexa_tinygltf PUBLIC vertexa_stb)
  add_library(TinyGLTF::TinyGLTF ALIAS vertexa_tinygltf)
  add_library(vertexa_tinyobjloader STATIC ${CMAKE_CURRENT_LIST_DIR}/windows/tinyobjloader.cpp)
  target_include_directories(vertexa_tinyobjloader SYSTEM PUBLIC ${VERTEXA_THIRD_PARTY_INCLUDE})
  add_library(tinyobjloader::tinyobjloader ALIAS vertexa_tinyobjloader)

  set(VERTEXA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built for Windows")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # Its project gives the targets GTest::gtest and GTest::gtest_main.
  add_subdirectory(${VERTEXA_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
