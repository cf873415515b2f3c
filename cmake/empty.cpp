// An empty translation unit for libraries whose sources are all platform-specific.
