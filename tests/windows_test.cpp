// Windows
