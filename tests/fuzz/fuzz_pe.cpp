// Feeds the module reader arbitrary files: it must answer or give up, never crash or read
// outside the input (the sanitizers watch every access).

#include "catalog/pe_image.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(bytes), size);
    varnel::MemorySource source(input);
    if (std::optional<varnel::PeImage> image = varnel::PeImage::Parse(source)) {
        image->ExportNames(source);
        std::string info = image->VersionInfoBytes(source);
        varnel::QueryFixedFileVersion(info);
        varnel::QueryFirstTranslation(info);
        varnel::QueryVersionString(info, "\\StringFileInfo\\040904b0\\FileDescription");
    }
    // The version-block parser on its own, on raw input.
    varnel::QueryFixedFileVersion(input);
    varnel::QueryFirstTranslation(input);
    varnel::QueryVersionString(input, "\\StringFileInfo\\040904b0\\ProductVersion");
    return 0;
}
