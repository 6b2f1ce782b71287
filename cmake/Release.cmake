# The date of this version's release: the metadata's release and the manual
# pages carry it, and debian/changelog's newest entry has the same version and
# date (the package stage of scripts/test checks both).
set(MELVORIN_RELEASE_DATE 2026-12-10)
execute_process(COMMAND date -u -R -d "${MELVORIN_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE MELVORIN_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND date -u +%s -d "${MELVORIN_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE MELVORIN_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
