# kve_embed_sql(TARGET DIR): compiles every DIR/*.sql into TARGET, so that a program applies
# its schema without data files beside it. The generated source defines
# kve::db_internal::EmbeddedScripts() (declared in src/platform/db/migrate.h).
# Run as a script (cmake -P) it writes that source: -DDIR=... -DOUT=...
if(CMAKE_SCRIPT_MODE_FILE)
  file(GLOB sqls ${DIR}/*.sql)
  list(SORT sqls)
  set(body "")
  foreach(f ${sqls})
    get_filename_component(name ${f} NAME)
    file(READ ${f} text)
    # Pieces of at most 8000 bytes: some compilers limit one string literal's length.
    string(LENGTH "${text}" len)
    set(pieces "")
    set(at 0)
    while(at LESS len)
      string(SUBSTRING "${text}" ${at} 8000 piece)
      string(APPEND pieces "R\"kvesql(${piece})kvesql\"\n")
      math(EXPR at "${at} + 8000")
    endwhile()
    if(pieces STREQUAL "")
      set(pieces "\"\"")
    endif()
    string(APPEND body "    {\"${name}\",\n${pieces}    },\n")
  endforeach()
  file(WRITE ${OUT}.tmp "// Generated from db/schema by cmake/embed_sql.cmake; do not edit.\n"
    "#include \"platform/db/migrate.h\"\n\nnamespace kve::db_internal {\n\n"
    "const std::vector<SchemaScript>& EmbeddedScripts() {\n"
    "  static const std::vector<SchemaScript> scripts = {\n${body}  };\n  return scripts;\n}\n\n"
    "}  // namespace kve::db_internal\n")
  file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
  file(REMOVE ${OUT}.tmp)
  return()
endif()

function(kve_embed_sql target dir)
  file(GLOB sqls CONFIGURE_DEPENDS ${dir}/*.sql)
  set(out ${CMAKE_BINARY_DIR}/generated/${target}_sql.cc)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DDIR=${dir} -DOUT=${out} -P ${CMAKE_SOURCE_DIR}/cmake/embed_sql.cmake
    DEPENDS ${sqls} ${CMAKE_SOURCE_DIR}/cmake/embed_sql.cmake
    COMMENT "Embedding the schema scripts of ${dir}" VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
