# Writes a C++ source that holds files as byte arrays, looked up by resource name through
# EmbeddedResource() (src/platform/embedded_resources.h). Arguments: output file, then pairs of
# resource name and file path. Runs at configure time; editing a file reconfigures.
function(sonaro_embed_resources output)
    set(body "#include \"platform/embedded_resources.h\"\n\nnamespace sonaro {\nnamespace {\n")
    set(table "")
    set(index 0)
    set(pairs ${ARGN})
    list(LENGTH pairs count)
    while(index LESS count)
        list(GET pairs ${index} name)
        math(EXPR next "${index} + 1")
        list(GET pairs ${next} path)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
        file(READ ${path} hex HEX)
        string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
        string(APPEND body "const std::uint8_t k${name}[] = {${bytes}};\n")
        string(APPEND table "        {\"${name}\", {k${name}, sizeof(k${name})}},\n")
        math(EXPR index "${index} + 2")
    endwhile()
    string(APPEND body "\n}  // namespace\n\nstd::span<const std::uint8_t> EmbeddedResource("
           "std::string_view name) {\n    static const struct {\n        std::string_view name;\n"
           "        std::span<const std::uint8_t> bytes;\n    } kTable[] = {\n${table}    };\n"
           "    for (const auto& entry : kTable) {\n        if (entry.name == name) {\n"
           "            return entry.bytes;\n        }\n    }\n    return {};\n}\n\n"
           "}  // namespace sonaro\n")
    file(CONFIGURE OUTPUT ${output} CONTENT "${body}" @ONLY)
endfunction()
