/* Test-only tool, never part of the programs: pxlib writes and reads protected Paradox
 * tables, an implementation of the format independent of Halvenor's reader.
 *
 *   pxlib_table ecrire TABLE.DB MOTDEPASSE N [VARIANTE]
 *       writes N records (fields Code A6, Libelle A40, Quantite short, Prix number, Note
 *       memo of 20 bytes); VARIANTE changes every value, for tests that rewrite a table.
 *       With a password, pxlib protects the table itself; as it misplaces memos then (and
 *       cannot read back those it keeps in the record), every memo is left null.
 *   pxlib_table chiffrer TABLE.DB MOTDEPASSE
 *       protects an unprotected table in place with pxlib's own routines: the password's
 *       key in the header, every block of the .DB and the whole .MB enciphered.
 *   pxlib_table lire TABLE.DB
 *       prints the table as halvenor-cli table --json does (texts from windows-1252). */
#include <paradox.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* pxlib's own routines, exported by the library but not declared by its header. */
void px_encrypt_db_block(unsigned char *src, unsigned char *dest, unsigned long encryption,
                         unsigned long blocksize, unsigned long blockno);
void px_encrypt_mb_block(unsigned char *src, unsigned char *dest, unsigned long encryption,
                         unsigned long blocksize);
long px_passwd_checksum(const char *aPsw);

/* Warnings and errors on stderr, away from the JSON. */
static void erreur(pxdoc_t *doc, int type, const char *message, void *donnees)
{
    (void)doc;
    (void)type;
    (void)donnees;
    fprintf(stderr, "pxlib: %s\n", message);
}

static void *allouer(pxdoc_t *doc, size_t taille, const char *appelant)
{
    (void)doc;
    (void)appelant;
    return calloc(1, taille);
}

static void *reallouer(pxdoc_t *doc, void *memoire, size_t taille, const char *appelant)
{
    (void)doc;
    (void)appelant;
    return realloc(memoire, taille);
}

static void liberer(pxdoc_t *doc, void *memoire)
{
    (void)doc;
    free(memoire);
}

static pxdoc_t *nouveau(void)
{
    return PX_new2(erreur, allouer, reallouer, liberer);
}

static pxval_t *valeur(pxdoc_t *doc, int type)
{
    pxval_t *v;
    MAKE_PXVAL(doc, v);
    v->type = type;
    v->isnull = 0;
    return v;
}

static char *texte(const char *s)
{
    char *t = malloc(strlen(s) + 1);
    strcpy(t, s);
    return t;
}

static int ecrire(const char *chemin, const char *motDePasse, int n, int variante)
{
    pxfield_t *champs = malloc(5 * sizeof(pxfield_t));
    const struct { const char *nom; char type; int taille; } def[5] = {
        {"Code", pxfAlpha, 6}, {"Libelle", pxfAlpha, 40}, {"Quantite", pxfShort, 2},
        {"Prix", pxfNumber, 8}, {"Note", pxfMemoBLOb, 20}};
    for (int i = 0; i < 5; ++i) {
        champs[i].px_fname = texte(def[i].nom);
        champs[i].px_ftype = def[i].type;
        champs[i].px_flen = def[i].taille;
        champs[i].px_fdc = 0;
    }
    char mb[4096];
    snprintf(mb, sizeof mb, "%.*s.MB", (int)(strlen(chemin) - 3), chemin);
    remove(chemin);
    remove(mb);
    pxdoc_t *doc = nouveau();
    if (PX_create_file(doc, champs, 5, chemin, pxfFileTypNonIndexDB) < 0)
        return 1;
    PX_set_parameter(doc, "tablename", "TABLE");
    if (motDePasse[0])
        PX_set_parameter(doc, "password", motDePasse);
    if (PX_set_blob_file(doc, mb) < 0)
        return 1;
    char tampon[8192];
    for (int i = 0; i < n; ++i) {
        const int k = i + variante * 1000;
        pxval_t *v[5];
        v[0] = valeur(doc, pxfAlpha);
        snprintf(tampon, sizeof tampon, "C%05d", k % 100000);
        v[0]->value.str.val = texte(tampon);
        v[0]->value.str.len = (int)strlen(tampon);
        v[1] = valeur(doc, pxfAlpha);
        snprintf(tampon, sizeof tampon, "Libell\xe9 %d, \xe0 %s", k, variante ? "revoir" : "garder");
        v[1]->value.str.val = texte(tampon);
        v[1]->value.str.len = (int)strlen(tampon);
        v[2] = valeur(doc, pxfShort);
        v[2]->value.lval = (k * 7) % 30000 - 1000;
        v[3] = valeur(doc, pxfNumber);
        v[3]->value.dval = k * 1.25 - 3.5;
        v[4] = valeur(doc, pxfMemoBLOb);
        if (i % 4 == 0 || motDePasse[0]) {
            v[4]->isnull = 1;
            v[4]->value.str.val = NULL;
            v[4]->value.str.len = 0;
        } else {
            /* short memos, others longer than their .MB block's share, some over 4 KiB */
            int longueur = i % 4 == 1 ? 5 + k % 40 : i % 4 == 2 ? 200 + (k * 37) % 600 : 4000 + (k * 13) % 3000;
            for (int j = 0; j < longueur; ++j)
                tampon[j] = (char)(j % 61 == 60 ? '\xe9' : 'a' + (j + k) % 26);
            v[4]->value.str.val = malloc((size_t)longueur);
            memcpy(v[4]->value.str.val, tampon, (size_t)longueur);
            v[4]->value.str.len = longueur;
        }
        if (PX_insert_record(doc, v) < 0)
            return 1;
    }
    PX_close(doc);
    PX_delete(doc);
    return 0;
}

static void ecrireLe32(unsigned char *p, unsigned long v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = (unsigned char)(v >> (8 * i));
}

static int chiffrer(const char *chemin, const char *motDePasse)
{
    const unsigned long cle = (unsigned long)px_passwd_checksum(motDePasse) & 0xFFFFFFFFul;
    FILE *f = fopen(chemin, "r+b");
    if (!f)
        return 1;
    unsigned char entete[0x78];
    if (fread(entete, 1, sizeof entete, f) != sizeof entete)
        return 1;
    const long tailleEntete = entete[2] | entete[3] << 8;
    const long tailleBloc = entete[5] * 1024L;
    if (entete[0x39] >= 5) { /* the key moves to the second header part */
        ecrireLe32(entete + 0x25, 0xFF00FF00ul);
        ecrireLe32(entete + 0x5C, cle);
    } else {
        ecrireLe32(entete + 0x25, cle);
    }
    fseek(f, 0, SEEK_SET);
    fwrite(entete, 1, sizeof entete, f);
    unsigned char *bloc = malloc((size_t)tailleBloc);
    for (unsigned long numero = 1;; ++numero) {
        const long position = tailleEntete + (long)(numero - 1) * tailleBloc;
        fseek(f, position, SEEK_SET);
        if (fread(bloc, 1, (size_t)tailleBloc, f) != (size_t)tailleBloc)
            break;
        px_encrypt_db_block(bloc, bloc, cle, (unsigned long)tailleBloc, numero);
        fseek(f, position, SEEK_SET);
        fwrite(bloc, 1, (size_t)tailleBloc, f);
    }
    fclose(f);
    char mb[4096];
    snprintf(mb, sizeof mb, "%.*s.MB", (int)(strlen(chemin) - 3), chemin);
    f = fopen(mb, "r+b");
    if (!f)
        return 0;
    for (long position = 0;; position += 256) {
        fseek(f, position, SEEK_SET);
        if (fread(bloc, 1, 256, f) != 256)
            break;
        px_encrypt_mb_block(bloc, bloc, cle, 256);
        fseek(f, position, SEEK_SET);
        fwrite(bloc, 1, 256, f);
    }
    fclose(f);
    return 0;
}

static void chaine(const char *s, int n)
{
    putchar('"');
    for (int i = 0; i < n && s[i]; ++i) {
        const unsigned char c = (unsigned char)s[i];
        if (c == '"' || c == '\\')
            printf("\\%c", c);
        else if (c < 0x20)
            printf("\\u%04x", c);
        else if (c < 0x80)
            putchar(c);
        else if (c >= 0xa0)
            printf("%c%c", 0xc0 | (c >> 6), 0x80 | (c & 0x3f));
        else
            putchar('?');
    }
    putchar('"');
}

static int lire(const char *chemin)
{
    pxdoc_t *doc = nouveau();
    if (PX_open_file(doc, chemin) < 0)
        return 1;
    char mb[4096];
    snprintf(mb, sizeof mb, "%.*s.MB", (int)(strlen(chemin) - 3), chemin);
    /* pxlib aborts on the .MB of a protected table that holds no memo: left out then */
    FILE *existe = fopen(mb, "rb");
    if (existe) {
        fseek(existe, 0, SEEK_END);
        const long taille = ftell(existe);
        fclose(existe);
        if (taille > 4096)
            PX_set_blob_file(doc, mb);
    }
    const int n = PX_get_num_records(doc);
    const int nc = PX_get_num_fields(doc);
    pxfield_t *champs = PX_get_fields(doc);
    static const char *noms[] = {[pxfAlpha] = "alpha", [pxfShort] = "short", [pxfNumber] = "number",
                                 [pxfMemoBLOb] = "memo"};
    printf("{\"fields\":[");
    for (int c = 0; c < nc; ++c)
        printf("%s{\"name\":\"%s\",\"type\":\"%s\",\"size\":%d}", c ? "," : "", champs[c].px_fname,
               noms[(int)champs[c].px_ftype], champs[c].px_flen);
    printf("],\"records\":[");
    for (int r = 0; r < n; ++r) {
        pxval_t **v = PX_retrieve_record(doc, r);
        if (!v)
            return 1;
        printf("%s[", r ? "," : "");
        for (int c = 0; c < nc; ++c) {
            if (c)
                putchar(',');
            if (v[c]->isnull)
                printf("null");
            else if (v[c]->type == pxfShort)
                printf("%ld", v[c]->value.lval);
            else if (v[c]->type == pxfNumber)
                printf("%.17g", v[c]->value.dval);
            else
                chaine(v[c]->value.str.val, v[c]->value.str.len);
        }
        putchar(']');
    }
    printf("]}\n");
    PX_close(doc);
    PX_delete(doc);
    return 0;
}

int main(int argc, char **argv)
{
    PX_boot();
    if (argc >= 5 && strcmp(argv[1], "ecrire") == 0)
        return ecrire(argv[2], argv[3], atoi(argv[4]), argc > 5 ? atoi(argv[5]) : 0);
    if (argc == 4 && strcmp(argv[1], "chiffrer") == 0)
        return chiffrer(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "lire") == 0)
        return lire(argv[2]);
    fprintf(stderr, "usage: pxlib_table ecrire TABLE.DB MOTDEPASSE N [VARIANTE] | chiffrer TABLE.DB MOTDEPASSE | lire TABLE.DB\n");
    return 2;
}
