// File layer: every file the system reads or writes goes through here. One source is mounted
// at a time: a "CORE" resource image (stand-alone or appended to a host file, read-only) or a
// plain directory tree (the only source that can be written). Functions return 1 on success
// and 0 on failure; diagnostics go to standard output. Main thread only.
#pragma once
#include <cstdint>
#include <cstdio>

enum MOUNT_TYPE : int32_t {
    MOUNT_FILE = 0,   // an image read through one stream (also an image appended to a host file)
    MOUNT_MEM = 1,    // declared only: never mounted
    MOUNT_DIR = 2,    // a directory tree; names are opened as plain files below it
    MOUNT_FAILED = 3  // declared only: never stored
};

// One open file, owned by the caller; the layer never allocates it.
struct s_corefile {
    void *data;          // directory mode: the FILE * of the plain file; image mode: null
    uint32_t fileindex;  // image mode: index of the entry in the table
    uint32_t offset;     // cursor: absolute image position (image) or position in the file (dir)
    uint32_t size;       // length of the file in bytes
    uint32_t hashname;   // image mode: hash of the requested name
};

// Table of the mounted source.
struct s_coreimage {
    void *source;       // MOUNT_FILE: the image's FILE *; MOUNT_DIR: allocated copy of the path
    uint32_t romsize;   // end position of the last entry's data
    uint32_t numfiles;  // number of entries
    uint32_t *offsets;  // start position of each entry's data
    char **names;       // each entry's name, zero-terminated
    uint32_t *hashes;   // each entry's stored name hash
};

// One line of the listing built by corefile_readdir.
struct s_corefileentry {
    char *displayname;  // "[name]" for a directory, the name relative to the local path for a file
    char *name;         // the directory's name, or the entry's full image name
    uint32_t size;      // entry size, 0 for a directory
    uint8_t isdir;      // 1 directory, 0 file
};

extern MOUNT_TYPE corefile_mounttype;
extern s_coreimage corefile_image;
extern char corefile_pathname[1024];  // prefix put in front of the image name at mount
extern FILE *g_fp;                    // stream of a file-mounted image, shared by all handles
extern char *corefile_localpath;      // 256 chars, always ends in "/"; null before a mount
extern s_corefileentry *corefile_filelist;
extern int32_t corefile_numfiles;
extern char *corefile_dirnames[256];
extern int32_t corefile_numdirs;

// type 0: image file; 1: image appended to a host file (trailer gives its position); 2: directory.
int corefile_mountimage(const char *name, int type);
// Releases everything a mount created; a new mount may follow.
void corefile_closeimage();

// mode 1 opens for writing (directory mode only; the file is replaced when the handle is
// closed, so an interrupted write keeps the old version); any other mode reads.
int corefile_open(const char *name, s_corefile *file, int mode);
// Reads size * count bytes at the cursor; the cursor advances by that amount whatever was read.
void corefile_read(void *buffer, uint32_t size, uint32_t count, s_corefile *file);
void corefile_write(const void *buffer, uint32_t size, uint32_t count, s_corefile *file);
// whence 0: from the start of the file; 1: from the cursor; anything else does nothing.
void corefile_seek(s_corefile *file, int32_t offset, int whence);
// The cursor as stored: an absolute image position in image mode.
uint32_t corefile_tell(s_corefile *file);
uint32_t corefile_fsize(s_corefile *file);
// Reads one line (up to and including a newline, at most size - 1 characters, always
// terminated); never reads past the end of the file's entry.
void corefile_gets(char *buffer, int size, s_corefile *file);
int corefile_feof(s_corefile *file);
void corefile_rewind(s_corefile *file);
// Ends the use of the handle; a file opened for writing is committed here.
void corefile_close(s_corefile *file);

// Sum of the bytes as signed 8-bit values, wrapping in 32 bits ("abc" gives 294).
uint32_t corefile_gethash(const char *text);

// Local path of the listing API: "." stays, ".." goes up, "/x" replaces, "x" appends.
void corefile_chdir(const char *path);
const char *corefile_getpath();
void corefile_adddir(const char *name);
// Rebuilds corefile_filelist for the local path: "..", subdirectories, then files matching
// the pattern's extension (".*" or a pattern without an extension matches every file).
void corefile_readdir(const char *pattern);

// Returns the whole file (local path + name) in a new block allocated with
// _wrap_malloc_dbg (release it with _wrap_free_dbg), or null if it cannot be opened.
void *corefile_loadbuffer(const char *name);
// Writes length bytes to the file local path + name. Only a mounted directory can be
// written; returns 1 when the file was written, else 0.
int corefile_savebuffer(const char *name, const void *data, uint32_t length);

// Copies length bytes, turning 'A'..'Z' into 'a'..'z'.
void file_downcase(char *dest, const char *src, int length);
// The little-endian unsigned 32-bit value at bytes.
uint32_t getint(const unsigned char *bytes);
