// What the web tests share: the generated pictures, the native reader's
// --json rows for them, and a symbol put into the rows' shape.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { isDeepStrictEqual } from 'node:util';
import { fileURLToPath } from 'node:url';

export const webDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
export const nativeReader = process.env.VANTOR_CLI ?? path.resolve(webDir, '../build/vantor');

// A fresh folder of pictures from make_pictures.py, removed when the
// process ends.
export function makePictures() {
    const folder = mkdtempSync(path.join(tmpdir(), 'vantor-web-'));
    process.on('exit', () => rmSync(folder, { recursive: true, force: true }));
    execFileSync('/usr/bin/python3', [path.join(webDir, 'test/make_pictures.py'), folder]);
    return folder;
}

export function picturesIn(folder, extension) {
    return readdirSync(folder).filter((name) => name.endsWith(extension)).sort().map((name) => path.join(folder, name));
}

export function readPgm(file) {
    const data = readFileSync(file);
    const header = /^P5\s+(\d+)\s+(\d+)\s+255\s/.exec(data.subarray(0, 64).toString('latin1'));
    if (!header)
        throw new Error(`${file}: not an 8-bit binary PGM`);
    const width = Number(header[1]);
    const height = Number(header[2]);
    return { width, height, grey: new Uint8Array(data.subarray(header[0].length, header[0].length + width * height)) };
}

export function pgmBytes({ grey, width, height }) {
    return Buffer.concat([Buffer.from(`P5\n${width} ${height}\n255\n`), Buffer.from(grey)]);
}

// The native reader's --json --explain rows, file name -> rows in order.
export function nativeRows(files, flags = []) {
    let out;
    try {
        out = execFileSync(nativeReader, ['--json', '--explain', '-j', '2', ...flags, ...files], { encoding: 'utf8' });
    } catch (error) {
        if (error.status !== 1) // 1: some file had no symbol
            throw error;
        out = error.stdout;
    }
    const rows = new Map();
    for (const line of out.split('\n').filter(Boolean)) {
        const row = JSON.parse(line);
        if (!rows.has(row.file))
            rows.set(row.file, []);
        rows.get(row.file).push(row);
    }
    return rows;
}

// A reader's rows as the native reader writes them for `file`.
export function rowsOf(result, file) {
    return result.rows.map((row) => ({ file, ...row }));
}

const hex = (bytes) => Buffer.from(bytes).toString('hex');

// Each symbol carries its row's fields, and its bytes and a whole set's
// are those of their rows; the facts --json leaves out are all it adds.
export function checkSymbolsAgainstRows(result) {
    const rows = result.rows.filter((row) => row.decoded && !row.joined);
    if (rows.length !== result.length)
        return `${result.length} symbols, ${rows.length} symbol rows`;
    for (const [i, row] of rows.entries()) {
        const { decoded, explain, ...fields } = row;
        const { bytes, pass, reading, ...shared } = result[i];
        if (!isDeepStrictEqual(shared, fields) || hex(bytes) !== row.bytes_hex)
            return `symbol ${i} differs from its row`;
        if (![pass, reading].every(Number.isInteger) || typeof shared.mirrored !== 'boolean' ||
            typeof shared.inverted !== 'boolean')
            return `symbol ${i} lacks the facts --json leaves out`;
    }
    const joined = result.rows.find((row) => row.joined);
    if (Boolean(joined) !== Boolean(result.joined))
        return 'joined and its row disagree';
    if (joined && (result.joined.text !== joined.text || hex(result.joined.bytes) !== joined.bytes_hex ||
                   !isDeepStrictEqual(result.joined.structured_append, joined.structured_append)))
        return 'the joined message differs from its row';
    return null;
}
