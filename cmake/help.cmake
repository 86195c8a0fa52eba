# Help and completion.

# The download page `about/debug` names when the build carries no
# version-control data.
set(ZUN_DOWNLOAD_PAGE "https://example.org/zun/download/" CACHE STRING
    "Address of the download page shown by about/debug")
target_compile_definitions(zunrt PRIVATE ZUN_DOWNLOAD_PAGE="${ZUN_DOWNLOAD_PAGE}")
