/* piplgen.cpp — build-time tool: writes the effect's property list as Windows resource data and as the
   macOS bundle's resource file.  Usage: crumbleforge_piplgen --windows FILE --mac FILE (either or both). */
#include "PropertyList.h"
#include "ResourceFile.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <fstream>
#include <string>

namespace {

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush())
            throw std::runtime_error("cannot write " + partial);
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot rename " + partial + " to " + path);
}

int usage()
{
    std::fprintf(stderr, "usage: crumbleforge_piplgen [--windows FILE] [--mac FILE]\n"
                         "  --windows FILE  resource data for the Windows module's PiPL resource\n"
                         "  --mac FILE      resource file for the macOS bundle's Contents/Resources\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string windowsPath;
    std::string macPath;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return usage();
        if (option == "--windows")
            windowsPath = argv[++i];
        else if (option == "--mac")
            macPath = argv[++i];
        else
            return usage();
    }
    if (windowsPath.empty() && macPath.empty())
        return usage();

    try {
        const std::vector<pipl::PropertySource> properties = pipl::crumbleforgeProperties();
        if (!windowsPath.empty())
            writeFile(windowsPath, pipl::encodePropertyList(properties, pipl::Platform::Windows));
        if (!macPath.empty()) {
            const std::vector<uint8_t> list = pipl::encodePropertyList(properties, pipl::Platform::Mac);
            writeFile(macPath, pipl::resourceFile(pipl::kResourceType, pipl::kResourceId, list));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "crumbleforge_piplgen: %s\n", error.what());
        return 1;
    }
    return 0;
}
