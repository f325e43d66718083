# Sets quillmark_commit_time to the last commit's time (seconds since 1970), which the
# shipped exe carries as its link time so that two builds of one commit are the same file.
# Outside a git checkout (a copy of the tree, a source archive) SOURCE_DATE_EPOCH may give
# it instead; without either it stays empty and the linker writes the clock's time.
# It is read when the tree is configured, which scripts/build.sh does on every build.
set(quillmark_commit_time "")
# Only the checkout's own history counts, not that of a repository the tree was unpacked in.
if(EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE quillmark_commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(quillmark_commit_time STREQUAL "" AND DEFINED ENV{SOURCE_DATE_EPOCH})
  set(quillmark_commit_time $ENV{SOURCE_DATE_EPOCH})
endif()
if(NOT quillmark_commit_time MATCHES "^[0-9]+$")
  message(WARNING "Neither git history nor a numeric SOURCE_DATE_EPOCH: Quillmark.exe carries its link time, so no other build will match it byte for byte.")
  set(quillmark_commit_time "")
endif()
