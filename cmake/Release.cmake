# The date of this version's release, set here only: the metadata's release,
# the changelog and the manual pages carry it.
set(MELVORIN_RELEASE_DATE 2026-12-10)
execute_process(COMMAND date -u -R -d "${MELVORIN_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE MELVORIN_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND date -u +%s -d "${MELVORIN_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE MELVORIN_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
