# The Windows program's resources: the event log's message table (windmc) and a VERSIONINFO whose version
# follows the service version (620 -> 6.2.0.0), so that each release raises it.
enable_language(RC)
set(VOREL_RESOURCES ${PROJECT_SOURCE_DIR}/src/platform/windows/resources)
set(VOREL_GENERATED ${PROJECT_BINARY_DIR}/generated)

file(STRINGS ${PROJECT_SOURCE_DIR}/src/service/service_identity.h version_line REGEX "kServiceVersion = ")
if(NOT version_line MATCHES "\"([0-9]+)([0-9])([0-9])\"")
  message(FATAL_ERROR "no service version of three or more digits in service_identity.h")
endif()
set(VOREL_FILE_VERSION "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.0")
string(REPLACE "." "," VOREL_FILE_VERSION_COMMAS ${VOREL_FILE_VERSION})
configure_file(${VOREL_RESOURCES}/vorel_service.rc.in ${VOREL_GENERATED}/vorel_service.rc @ONLY)

find_program(VOREL_WINDMC NAMES ${VOREL_MINGW_TRIPLET}-windmc windmc REQUIRED)
set(VOREL_MESSAGE_FILES ${VOREL_GENERATED}/service_messages.h ${VOREL_GENERATED}/service_messages.rc
                        ${VOREL_GENERATED}/MSG00409.bin)
add_custom_command(
  OUTPUT ${VOREL_MESSAGE_FILES}
  COMMAND ${VOREL_WINDMC} -h ${VOREL_GENERATED} -r ${VOREL_GENERATED} ${VOREL_RESOURCES}/service_messages.mc
  DEPENDS ${VOREL_RESOURCES}/service_messages.mc
  COMMENT "Message table of the event log")
set_source_files_properties(${VOREL_GENERATED}/vorel_service.rc PROPERTIES OBJECT_DEPENDS
                                                                           "${VOREL_MESSAGE_FILES}")

# The event types and message numbers come from the generated header.
target_sources(vorel_platform PRIVATE ${VOREL_GENERATED}/service_messages.h)
