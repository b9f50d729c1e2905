# Signing what a vendor signs, with the build's test certificates
# (scripts/make-signing-certificates.sh; the vendor's and another publisher's).
# KELM_SIGNING_DIR holds them; KELM_VENDOR_PUBLISHER is the vendor's name as a
# manifest's <publisher> gives it.
set(KELM_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
set(KELM_VENDOR_PUBLISHER "Kelmware Test Signing")
set(KELM_OTHER_PUBLISHER "Another Publisher Test Signing")
set(KELM_SIGN_FILE ${CMAKE_SOURCE_DIR}/scripts/sign-file.sh)
add_custom_command(
    OUTPUT ${KELM_SIGNING_DIR}/vendor.crt ${KELM_SIGNING_DIR}/other.crt
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-signing-certificates.sh ${KELM_SIGNING_DIR}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-signing-certificates.sh
    COMMENT "Making the test code-signing certificates")
add_custom_target(kelm_signing_certificates DEPENDS ${KELM_SIGNING_DIR}/vendor.crt ${KELM_SIGNING_DIR}/other.crt)

# Signs a program target in place once it is linked: kelm_sign_target(<target> vendor|other).
function(kelm_sign_target target identity)
    add_dependencies(${target} kelm_signing_certificates)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${KELM_SIGN_FILE} ${KELM_SIGNING_DIR} ${identity} $<TARGET_FILE:${target}>
        COMMENT "Signing ${target} (${identity})"
        VERBATIM)
endfunction()

# A signed copy of a file as a build output: kelm_signed_copy(<output> <input> vendor|other <depends...>).
function(kelm_signed_copy output input identity)
    add_custom_command(OUTPUT ${output}
        COMMAND ${KELM_SIGN_FILE} ${KELM_SIGNING_DIR} ${identity} ${input} ${output}
        DEPENDS ${input} ${KELM_SIGNING_DIR}/${identity}.crt ${ARGN}
        COMMENT "Signing ${output} (${identity})"
        VERBATIM)
endfunction()
