# Read by cpack before it packs the release (CPACK_PROJECT_CONFIG_FILE): the
# archives' entry times are the release's time stamp, in UTC, whoever packs.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_GEN_SOURCE_DATE_EPOCH})
set(ENV{TZ} UTC)
