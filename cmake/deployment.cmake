# Deployment values: everything a vendor sets is compiled in from these cache variables and
# checked at configure time, so a bad value stops the build before anything is made.
set(VISTAL_SERVERS "" CACHE STRING
    "Update hosts in failover order, separated by ';' (host or host:port). Empty: eleven placeholder hosts.")
set(VISTAL_SIGNER_CERT "" CACHE FILEPATH
    "Certificate (PEM or DER) that signs the application jars. Empty: a development key in the build tree.")
set(VISTAL_KEY_BLOCK "" CACHE FILEPATH
    "600-byte key block handed to the application. Empty: a development key block in the build tree.")
set(VISTAL_COMMON_APPDATA "/var/lib" CACHE PATH
    "POSIX root that stands for the common application-data folder.")
set(VISTAL_CA_BUNDLE "" CACHE FILEPATH
    "CA file the Linux HTTPS transport trusts. Empty: the system CA store.")
set(VISTAL_RECEIVE_TIMEOUT_MS 30000 CACHE STRING
    "A transfer that receives no byte for this many milliseconds ends as failed.")
set(VISTAL_MAX_DOWNLOAD 536870912 CACHE STRING
    "Largest download in bytes (default 512 MiB); a body announced or grown beyond it is refused.")
set(VISTAL_DOWNLOAD_DEADLINE_MS 900000 CACHE STRING
    "A transfer still running after this many milliseconds (default 15 minutes) ends as failed.")
set(VISTAL_PROGRESS_COLOR "#2F80ED" CACHE STRING
    "Colour of the download progress strip on the splash image, #RRGGBB.")

# --- The vendor's identity and VM options ----------------------------------------------------
# The company, product and version name the data directory's three folders; the product also
# names the mutex, the user agent, the version block, the installers and the Start-menu entry,
# and the company is named in the start-up messages. Printable ASCII only: the data directory is
# 8-bit text on Windows, and each name must be a valid folder name there.
set(VISTAL_COMPANY "Quarlen Zuzidivoravev Vivurezuv" CACHE STRING
    "Company: first folder of the data directory, named in the start-up messages.")
set(VISTAL_PRODUCT "Quarlen Vistal" CACHE STRING
    "Product: second folder of the data directory; version block, installers, Start-menu entry, mutex and user agent.")
set(VISTAL_PRODUCT_VERSION "2.0.2" CACHE STRING
    "Third folder of the data directory (one per launcher version) and the version block's version, major.minor.patch.")
set(VISTAL_ICON "${CMAKE_CURRENT_LIST_DIR}/../resources/icon.svg" CACHE FILEPATH
    "Icon artwork (SVG), rendered for vistal.exe, the MSI and the Debian package.")
set(VISTAL_VM_OPTIONS "" CACHE STRING
    "VM options after the four fixed ones, separated by blanks; \"double quotes\" keep blanks in one option.")

set(VISTAL_COMPANY_NAME "${VISTAL_COMPANY}" CACHE STRING "CompanyName of the version block.")
set(VISTAL_LEGAL_NOTICE "Copyright (C) ${VISTAL_COMPANY}. All rights reserved." CACHE STRING
    "Legal notice of the version block.")

foreach(name VISTAL_COMPANY VISTAL_PRODUCT)
    if(NOT ${name} MATCHES "^[A-Za-z0-9]([-A-Za-z0-9 ,.()+_']*[A-Za-z0-9)])?$")
        message(FATAL_ERROR "${name} '${${name}}': letters, digits, blanks and -,.()+_' only, "
                            "beginning with a letter or digit and ending with neither blank nor dot")
    endif()
endforeach()
if(NOT VISTAL_PRODUCT_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "VISTAL_PRODUCT_VERSION '${VISTAL_PRODUCT_VERSION}' is not major.minor.patch")
endif()
foreach(part 1 2 3)
    if(CMAKE_MATCH_${part} GREATER 65535)
        message(FATAL_ERROR "VISTAL_PRODUCT_VERSION '${VISTAL_PRODUCT_VERSION}': each number must be at most 65535")
    endif()
endforeach()
get_filename_component(VISTAL_ICON "${VISTAL_ICON}" ABSOLUTE)
if(NOT EXISTS "${VISTAL_ICON}")
    message(FATAL_ERROR "VISTAL_ICON '${VISTAL_ICON}' does not exist")
endif()

# The names the code uses, in one generated header. The messages name the company with its last
# word on a line of its own, as the message boxes have always shown it; the mutex is the product
# without blanks or punctuation.
string(REGEX REPLACE " ([^ ]*)$" "\\\\n\\1" identity_contact "${VISTAL_COMPANY}")
string(REGEX REPLACE "[^A-Za-z0-9]" "" identity_mutex "${VISTAL_PRODUCT}")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/identity/config/identity.h" CONTENT
"// Generated from VISTAL_COMPANY, VISTAL_PRODUCT and VISTAL_PRODUCT_VERSION; do not edit.
#pragma once

#define VISTAL_ID_COMPANY \"${VISTAL_COMPANY}\"
#define VISTAL_ID_PRODUCT \"${VISTAL_PRODUCT}\"
#define VISTAL_ID_PRODUCT_VERSION \"${VISTAL_PRODUCT_VERSION}\"
#define VISTAL_ID_SUPPORT_CONTACT \"${identity_contact}'\"
#define VISTAL_ID_MUTEX \"${identity_mutex}Mutex\"
" @ONLY)
set(VISTAL_MUTEX_NAME "${identity_mutex}Mutex")

set(VISTAL_DEFAULT_SERVERS
    "update.vistal.example;update1.vistal.example;update2.vistal.example;update3.vistal.example;update4.vistal.example;update5.vistal.example;update6.vistal.example;update7.vistal.example;update8.vistal.example;update9.vistal.example;update10.vistal.example")

set(VISTAL_DEV_DIR "${CMAKE_BINARY_DIR}/dev-signing")
set(VISTAL_DEV_KEYSTORE "${VISTAL_DEV_DIR}/keystore.p12")
set(VISTAL_DEV_STOREPASS "vistal-dev")
set(VISTAL_DEV_ALIAS "vistal")
set(VISTAL_DEV_SUBJECT "CN=Vistal Development Signer")

find_program(VISTAL_OPENSSL openssl REQUIRED)

# The development signing key and certificate, made once per build tree.
function(vistal_dev_signing_key out_cert)
    set(cert "${VISTAL_DEV_DIR}/signer.pem")
    if(NOT EXISTS "${cert}")
        file(MAKE_DIRECTORY "${VISTAL_DEV_DIR}")
        execute_process(
            COMMAND "${VISTAL_KEYTOOL}" -genkeypair -alias ${VISTAL_DEV_ALIAS} -keyalg RSA -keysize 2048
                    -validity 3650 -dname "${VISTAL_DEV_SUBJECT}" -storetype PKCS12
                    -keystore "${VISTAL_DEV_KEYSTORE}" -storepass ${VISTAL_DEV_STOREPASS}
            RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "keytool could not make the development signing key")
        endif()
        execute_process(
            COMMAND "${VISTAL_KEYTOOL}" -exportcert -rfc -alias ${VISTAL_DEV_ALIAS}
                    -keystore "${VISTAL_DEV_KEYSTORE}" -storepass ${VISTAL_DEV_STOREPASS}
                    -file "${cert}"
            RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "keytool could not export the development certificate")
        endif()
    endif()
    set(${out_cert} "${cert}" PARENT_SCOPE)
endfunction()

# SHA-1 of the certificate's DER encoding, as a C initialiser list.
function(vistal_cert_digest cert out)
    set(der "${CMAKE_BINARY_DIR}/deployment/signer-${ARGV2}.der")
    get_filename_component(der_dir "${der}" DIRECTORY)
    file(MAKE_DIRECTORY "${der_dir}")
    execute_process(COMMAND "${VISTAL_OPENSSL}" x509 -in "${cert}" -outform DER -out "${der}"
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    if(NOT rc EQUAL 0)
        execute_process(COMMAND "${VISTAL_OPENSSL}" x509 -inform DER -in "${cert}" -outform DER -out "${der}"
                        RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "VISTAL_SIGNER_CERT: '${cert}' is not a certificate (neither PEM nor DER)")
    endif()
    file(SHA1 "${der}" digest)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${digest}")
    set(${out} "${bytes}" PARENT_SCOPE)
endfunction()

function(vistal_bytes_of file out)
    file(READ "${file}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    set(${out} "${bytes}" PARENT_SCOPE)
endfunction()

# vistal_add_deployment(<target> [SERVERS list] [SIGNER_CERT file] [KEY_BLOCK file]
#                       [COMMON_APPDATA dir] [CA_BUNDLE file] [RECEIVE_TIMEOUT_MS n]
#                       [MAX_DOWNLOAD bytes] [DOWNLOAD_DEADLINE_MS n] [PROGRESS_COLOR #RRGGBB]
#                       [VM_OPTIONS text] [NO_SERVERS])
# Makes a static library holding one deployment's compiled-in values. NO_SERVERS makes a
# deployment without update hosts (always offline), which only benchmarks use.
function(vistal_add_deployment target)
    cmake_parse_arguments(D "NO_SERVERS"
        "SIGNER_CERT;KEY_BLOCK;COMMON_APPDATA;CA_BUNDLE;RECEIVE_TIMEOUT_MS;MAX_DOWNLOAD;DOWNLOAD_DEADLINE_MS;PROGRESS_COLOR;VM_OPTIONS"
        "SERVERS" ${ARGN})

    if(D_NO_SERVERS AND D_SERVERS)
        message(FATAL_ERROR "${target}: NO_SERVERS with a server list")
    elseif(NOT D_SERVERS AND NOT D_NO_SERVERS)
        message(FATAL_ERROR "${target}: the server list is empty")
    endif()
    set(server_lines "")
    foreach(host IN LISTS D_SERVERS)
        string(STRIP "${host}" host)
        if(host STREQUAL "")
            message(FATAL_ERROR "${target}: the server list holds an empty host name")
        endif()
        if(NOT host MATCHES "^[A-Za-z0-9.-]+(:[0-9]+)?$")
            message(FATAL_ERROR "${target}: '${host}' is not a host name (optionally with :port)")
        endif()
        string(APPEND server_lines "    L\"${host}\",\n")
    endforeach()

    if(NOT D_SIGNER_CERT)
        vistal_dev_signing_key(D_SIGNER_CERT)
    endif()
    if(NOT EXISTS "${D_SIGNER_CERT}")
        message(FATAL_ERROR "${target}: signer certificate '${D_SIGNER_CERT}' does not exist")
    endif()
    vistal_cert_digest("${D_SIGNER_CERT}" signature_bytes ${target})

    if(NOT D_KEY_BLOCK)
        set(D_KEY_BLOCK "${VISTAL_DEV_DIR}/key-block.bin")
        if(NOT EXISTS "${D_KEY_BLOCK}")
            file(MAKE_DIRECTORY "${VISTAL_DEV_DIR}")
            execute_process(COMMAND "${VISTAL_OPENSSL}" rand -out "${D_KEY_BLOCK}" 600 RESULT_VARIABLE rc)
            if(NOT rc EQUAL 0)
                message(FATAL_ERROR "openssl could not make the development key block")
            endif()
        endif()
    endif()
    if(NOT EXISTS "${D_KEY_BLOCK}")
        message(FATAL_ERROR "${target}: key block '${D_KEY_BLOCK}' does not exist")
    endif()
    file(SIZE "${D_KEY_BLOCK}" key_size)
    if(NOT key_size EQUAL 600)
        message(FATAL_ERROR "${target}: key block '${D_KEY_BLOCK}' is ${key_size} bytes, not 600")
    endif()
    vistal_bytes_of("${D_KEY_BLOCK}" key_bytes)

    if(NOT D_COMMON_APPDATA)
        set(D_COMMON_APPDATA "/var/lib")
    endif()
    if(NOT D_RECEIVE_TIMEOUT_MS)
        set(D_RECEIVE_TIMEOUT_MS 30000)
    endif()
    if(NOT D_MAX_DOWNLOAD)
        set(D_MAX_DOWNLOAD 536870912)
    endif()
    if(NOT D_DOWNLOAD_DEADLINE_MS)
        set(D_DOWNLOAD_DEADLINE_MS 900000)
    endif()
    if(NOT D_PROGRESS_COLOR)
        set(D_PROGRESS_COLOR "${VISTAL_PROGRESS_COLOR}")
    endif()
    if(NOT D_PROGRESS_COLOR MATCHES "^#?([0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f])$")
        message(FATAL_ERROR "${target}: PROGRESS_COLOR '${D_PROGRESS_COLOR}' is not a colour #RRGGBB")
    endif()
    set(progress_rgb "${CMAKE_MATCH_1}")
    if(NOT DEFINED D_VM_OPTIONS)
        set(D_VM_OPTIONS "${VISTAL_VM_OPTIONS}")
    endif()
    # A quote left open would swallow every option after it.
    string(REPLACE "\\\"" "" vm_options_quotes "${D_VM_OPTIONS}")
    string(REGEX REPLACE "[^\"]" "" vm_options_quotes "${vm_options_quotes}")
    string(LENGTH "${vm_options_quotes}" vm_options_quotes)
    math(EXPR vm_options_quotes "${vm_options_quotes} % 2")
    if(vm_options_quotes)
        message(FATAL_ERROR "${target}: VM_OPTIONS '${D_VM_OPTIONS}' leaves a double quote open")
    endif()
    # As a C string: the launcher splits it at start-up (launcher/vm_options.h).
    string(REPLACE "\\" "\\\\" vm_options_literal "${D_VM_OPTIONS}")
    string(REPLACE "\"" "\\\"" vm_options_literal "${vm_options_literal}")
    string(REPLACE "\n" "\\n" vm_options_literal "${vm_options_literal}")
    # The fetch counts a body in 32 bits; the deadline is compared in milliseconds.
    if(NOT D_MAX_DOWNLOAD MATCHES "^[1-9][0-9]*$" OR D_MAX_DOWNLOAD GREATER 4294967295)
        message(FATAL_ERROR "${target}: MAX_DOWNLOAD '${D_MAX_DOWNLOAD}' is not a size from 1 to 4294967295 bytes")
    endif()
    foreach(value RECEIVE_TIMEOUT_MS DOWNLOAD_DEADLINE_MS)
        if(NOT D_${value} MATCHES "^[1-9][0-9]*$" OR D_${value} GREATER 4294967295)
            message(FATAL_ERROR "${target}: ${value} '${D_${value}}' is not a number of milliseconds")
        endif()
    endforeach()
    if(D_CA_BUNDLE AND NOT EXISTS "${D_CA_BUNDLE}" AND NOT D_CA_BUNDLE MATCHES "^${CMAKE_BINARY_DIR}")
        message(FATAL_ERROR "${target}: CA bundle '${D_CA_BUNDLE}' does not exist")
    endif()

    set(src "${CMAKE_BINARY_DIR}/deployment/${target}.cpp")
    set(content "// Generated from the deployment values of ${target}; do not edit.\n#include \"config/deployment.h\"\n\nnamespace config {\n\n")
    string(APPEND content "const wchar_t* const server_list[] = {\n${server_lines}    nullptr,\n};\n\n")
    string(APPEND content "const unsigned char signature[20] = {${signature_bytes}};\n\n")
    string(APPEND content "const unsigned char __k_dat[600] = {${key_bytes}};\n\n")
    string(APPEND content "const char* const deployment_common_appdata = \"${D_COMMON_APPDATA}\";\n")
    string(APPEND content "const char* const deployment_ca_bundle = \"${D_CA_BUNDLE}\";\n")
    string(APPEND content "const unsigned deployment_receive_timeout_ms = ${D_RECEIVE_TIMEOUT_MS}u;\n")
    string(APPEND content "const unsigned long long deployment_max_download = ${D_MAX_DOWNLOAD}ull;\n")
    string(APPEND content "const unsigned long long deployment_download_deadline_ms = ${D_DOWNLOAD_DEADLINE_MS}ull;\n")
    string(APPEND content "const unsigned deployment_progress_color = 0x${progress_rgb}u;\n")
    string(APPEND content "const char* const deployment_vm_options = \"${vm_options_literal}\";\n")
    string(APPEND content "\n} // namespace config\n")
    file(CONFIGURE OUTPUT "${src}" CONTENT "${content}" @ONLY)

    # Objects, not an archive: linked whole, wherever the link line puts them.
    add_library(${target} OBJECT "${src}")
    target_link_libraries(${target} PUBLIC vistal_config)
    set_property(TARGET ${target} PROPERTY VISTAL_SIGNER_CERT "${D_SIGNER_CERT}")
endfunction()

# The signed version stamp: a downloaded jar is installed only when its signed manifest names the
# version it was offered as (Implementation-Version). Off for a vendor whose jars carry no stamp.
option(VISTAL_VERSION_STAMP
    "Install a downloaded jar only when its signed Implementation-Version is the answered version" ON)
