// Images for the output and files written whole or not at all.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

class MMapList;

namespace vertexa::convert {

// An image ready for glTF or OBJ: PNG or JPEG bytes.
struct Image {
    std::string bytes;
    std::string mime;  // "image/png" or "image/jpeg"
    std::string stem;  // the source file's name without folder and extension
    std::string extension() const { return mime == "image/png" ? ".png" : ".jpg"; }
};

// Finds and loads the images of texture layers, each once. An image name is
// resolved through the scene's map list (its last component in the searched
// folders); PNG and JPEG files are kept as they are, other formats that can
// be decoded (BMP, TGA, ...) become PNG. Failures are warnings on `err`.
class ImageCache {
public:
    ImageCache(const MMapList& maps, std::ostream& err) : maps_(maps), err_(err) {}
    // The index of the image for a name, or -1 when there is none.
    int get(const std::string& name);
    const std::vector<Image>& images() const { return images_; }

private:
    const MMapList& maps_;
    std::ostream& err_;
    std::map<std::string, int> by_name_;
    std::vector<Image> images_;
};

// Files to write together: each goes to a temporary file in its folder first;
// only when all are written are they renamed into place, the first one added
// last. On failure nothing new is left behind and an existing file keeps its
// contents.
class OutputFiles {
public:
    void add(const std::string& path, std::string bytes);
    // Returns an empty text on success, else what went wrong.
    std::string commit();

private:
    std::vector<std::pair<std::string, std::string>> files_;
};

// The last component of a path without its extension.
std::string file_stem(const std::string& path);
// The folder part of a path with its trailing '/', or "" for a bare name.
std::string folder_of(const std::string& path);

// A text as valid UTF-8: kept when it is, else read as Latin-1.
std::string to_utf8(const std::string& text);

}  // namespace vertexa::convert
