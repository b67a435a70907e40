// The module alone, under Node: decodeGrey gives what the native reader
// gives on the same grey pixels, and leaves no memory behind.
import assert from 'node:assert/strict';
import path from 'node:path';
import { before, describe, test } from 'node:test';

import { createReader } from '../dist/vantor.mjs';
import { asFloats, makePictures, nativeRows, picturesIn, readPgm, rowsOf } from './support.mjs';

let reader;
let pictures;

before(async () => {
    reader = await createReader();
    pictures = picturesIn(makePictures(), '.pgm');
});

describe('decodeGrey equals the native reader', () => {
    for (const [label, options, flags] of [
        ['defaults', {}, []],
        ['all symbols', { all: true }, ['--all']],
        ['classic readings only', { thorough: false }, ['--no-thorough']],
    ]) {
        test(label, async () => {
            const native = nativeRows(pictures, flags);
            let decoded = 0;
            for (const file of pictures) {
                const { grey, width, height } = readPgm(file);
                const result = await reader.decodeGrey(grey, width, height, options);
                assert.deepEqual(rowsOf(result, file), asFloats(native.get(file)), path.basename(file));
                decoded += result.length > 0;
            }
            // The set holds symbols and pictures without one.
            assert.ok(decoded >= 10 && decoded < pictures.length, `${decoded} of ${pictures.length} decoded`);
        });
    }

    test('the facts --json leaves out: mirrored, inverted, stage, kind', async () => {
        const facts = {};
        for (const file of pictures) {
            const { grey, width, height } = readPgm(file);
            facts[path.basename(file, '.pgm')] = await reader.decodeGrey(grey, width, height);
        }
        assert.equal(facts.mirrored[0].mirrored, true);
        assert.equal(facts.inverted[0].inverted, true);
        for (const name of ['plain-0', 'large', 'perspective-45', 'turned-130']) {
            assert.equal(facts[name][0].mirrored, false, name);
            assert.equal(facts[name][0].inverted, false, name);
            assert.equal(facts[name][0].format, 'QRCode', name);
            assert.deepEqual([facts[name][0].eci, facts[name][0].structuredAppend, facts[name][0].fnc1, facts[name][0].gs1],
                [null, null, null, false], name);
            assert.equal(facts[name].reason, null, name);
            assert.equal(facts[name].stage, 'text decoded', name);
        }
        assert.equal(facts.eci[0].eci, 26);
        assert.equal(facts.gs1[0].gs1, true);
        assert.deepEqual(facts['fnc1-second'][0].fnc1, { position: 2, application: 37 });
        assert.equal(facts['fnc1-second'][0].gs1, false);
        assert.equal(facts.blank.reason, 'no eye patterns found');
        assert.equal(facts.blank.stage, 'nothing located');
        assert.notEqual(facts['eyes-only'].stage, 'nothing located');
    });
});

test('bad calls are refused with a clear error', async () => {
    const grey = new Uint8Array(100).fill(255);
    await assert.rejects(reader.decodeGrey(grey, 0, 10), /bad image size 0 x 10/);
    await assert.rejects(reader.decodeGrey(grey, 20, 10), /100 grey bytes are too few for 20 x 10/);
    await assert.rejects(reader.decodeGrey([1, 2, 3], 3, 1), /must be a Uint8Array/);
    await assert.rejects(reader.decodeGrey(grey, 10, 10, { effort: 3 }), /unknown option "effort"/);
    await assert.rejects(reader.decodeImageData({ width: 5, height: 5 }), /needs an ImageData/);
    await assert.rejects(reader.decodeBlob(new Blob([])), /needs a browser/);
    // The reader still works after refusals.
    assert.equal((await reader.decodeGrey(grey, 10, 10)).reason, 'no eye patterns found');
});

test('1,000 decodes in a row leave the heap where it was', async () => {
    const set = pictures.map(readPgm);
    // One round first: anything the module sets up once is in place.
    for (const p of set)
        await reader.decodeGrey(p.grey, p.width, p.height, { all: true });
    const before = await reader.heapInUse();
    let found = 0;
    for (let i = 0; i < 1000; ++i) {
        const p = set[i % set.length];
        found += (await reader.decodeGrey(p.grey, p.width, p.height, { all: i % 2 === 0 })).length;
        if (i % 97 === 0)
            assert.equal(await reader.heapInUse(), before, `after decode ${i + 1}`);
    }
    assert.equal(await reader.heapInUse(), before);
    assert.ok(found > 500, `${found} symbols found`);
});
