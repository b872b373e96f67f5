# Turns a host-interface layout file (JSON: record -> size, align, fields -> [offset, size]) into a C++
# table that a test compares with our own declarations. Run in script mode:
#   cmake -DLAYOUT_JSON=... -DLAYOUT_NAME=... -DOUTPUT=... -P GenerateLayoutTable.cmake
file(READ "${LAYOUT_JSON}" json)
string(JSON record_count LENGTH "${json}")
math(EXPR last_record "${record_count} - 1")

set(body "")
foreach(i RANGE ${last_record})
  string(JSON record MEMBER "${json}" ${i})
  string(JSON size GET "${json}" "${record}" size)
  string(JSON align GET "${json}" "${record}" align)
  string(APPEND body "    {\"${record}\", \"\", sizeof(${record}), ${size}, alignof(${record}), ${align}},\n")
  string(JSON fields GET "${json}" "${record}" fields)
  string(JSON field_count LENGTH "${fields}")
  if(field_count GREATER 0)
    math(EXPR last_field "${field_count} - 1")
    foreach(j RANGE ${last_field})
      string(JSON field MEMBER "${fields}" ${j})
      string(JSON offset GET "${fields}" "${field}" 0)
      string(JSON field_size GET "${fields}" "${field}" 1)
      string(APPEND body
        "    {\"${record}\", \"${field}\", CF_FIELD_OFFSET(${record}, ${field}), ${offset}, "
        "sizeof(layoutSample<${record}>().${field}), ${field_size}},\n")
    endforeach()
  endif()
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated from ${LAYOUT_NAME}; do not edit.
#include \"LayoutEntry.h\"

const LayoutEntry* layoutTable_${LAYOUT_NAME}(size_t* count)
{
    static const LayoutEntry entries[] = {
${body}    };
    *count = sizeof(entries) / sizeof(entries[0]);
    return entries;
}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
